#include "rescue/RescueRecords.h"

#include <gtest/gtest.h>

#include "rescue/ControlBuffer.h"
#include "rescue/FloppyLayout.h"
#include "tests/support/DiskImages.h"
#include "tests/support/RescueFixture.h"

namespace corvane::testing {
namespace {

using rescue::WriteRescueRecords;

const std::string kChainStatus = "status: Failed :: Invalid partition chain !";
const std::string kChainMessage =
    "warning: The chain of logical partitions on your drive loops back on itself or holds more "
    "than 100 partitions.\nNo rescue disk was created.";
const std::string kFloppyStatus = "status: Failed :: Error writing floppy disk sectors !";
const std::string kReadMessage = std::string("app: ") + disk::kReadFailureMessage;

// A boot sector whose BPB describes a FAT12 floppy with this layout.
disk::Sector BootSectorWith(unsigned bytesPerSector, unsigned reserved, unsigned fats,
                            unsigned sectorsPerFat) {
  disk::Sector sector{};
  sector[11] = static_cast<std::uint8_t>(bytesPerSector);
  sector[12] = static_cast<std::uint8_t>(bytesPerSector >> 8U);
  sector[14] = static_cast<std::uint8_t>(reserved);
  sector[16] = static_cast<std::uint8_t>(fats);
  sector[22] = static_cast<std::uint8_t>(sectorsPerFat);
  return sector;
}

TEST(FloppyLayoutTest, TheRootDirectoryFollowsTheFatsOfAUsableBpbOnly) {
  EXPECT_EQ(rescue::FirstRootDirectorySector(BootSectorWith(512, 1, 2, 9)), 19);
  EXPECT_EQ(rescue::FirstRootDirectorySector(BootSectorWith(512, 1, 2, 3)), 7);
  EXPECT_EQ(rescue::FirstRootDirectorySector(BootSectorWith(512, 4, 1, 5)), 9);
  for (const disk::Sector& unusable :
       {BootSectorWith(1024, 1, 2, 3), BootSectorWith(512, 0, 2, 3), BootSectorWith(512, 1, 0, 3),
        BootSectorWith(512, 1, 3, 3), BootSectorWith(512, 1, 2, 0), disk::Sector{}}) {
    EXPECT_EQ(rescue::FirstRootDirectorySector(unusable), 19);
  }
  EXPECT_EQ(rescue::ExtendedRecordRoom(19), 14);
  EXPECT_EQ(rescue::ExtendedRecordRoom(7), 2);
  EXPECT_EQ(rescue::ExtendedRecordRoom(3), 0);
}

TEST(ControlRecordTest, PacksMarkerValueLittleEndianAndTerminator) {
  rescue::ControlBuffer buffer{};
  buffer.fill(0x77);
  ASSERT_TRUE(rescue::PutControlRecord(buffer, 10, 0x0403023FU));
  EXPECT_EQ(std::vector<int>(buffer.begin() + 10, buffer.begin() + 16),
            (std::vector<int>{0x24, 0x3F, 0x02, 0x03, 0x04, 0x00}));
  EXPECT_EQ(buffer[9], 0x77);
  EXPECT_TRUE(rescue::PutControlRecord(buffer, 505, 1));
  EXPECT_EQ(buffer[510], 0);
  const rescue::ControlBuffer before = buffer;
  EXPECT_FALSE(rescue::PutControlRecord(buffer, 507, 1));
  EXPECT_FALSE(rescue::PutControlRecord(buffer, -1, 1));
  EXPECT_EQ(buffer, before);
}

class RescueRecordsTest : public RescueFixture {
 protected:
  // Runs the stage for disk 0 and checks the floppy against the disk: the MBR
  // in sector 4, EBR k in sector 4 + k, and sector 3 written last.
  void ExpectRescueRecordsOf(const std::vector<std::uint32_t>& ebrLbas, int drive = 0) {
    RecordingSink sink(transcript, drive);
    rescue::FloppyDrive medium(platform);
    ASSERT_TRUE(WriteRescueRecords(platform, medium, drive, sink, room));
    std::vector<std::uint64_t> order{3, 4};
    std::vector<std::uint32_t> control{static_cast<std::uint32_t>(drive), 0};
    EXPECT_EQ(floppy.GetSector(4), platform.Device(disk::PhysicalDriveName(drive)).GetSector(0));
    for (std::size_t k = 0; k < ebrLbas.size(); ++k) {
      EXPECT_EQ(floppy.GetSector(5 + k), disk.GetSector(ebrLbas[k])) << "EBR " << k + 1;
      order.push_back(5 + k);
      control.push_back(ebrLbas[k]);
    }
    order.push_back(3);
    EXPECT_EQ(FloppySectorsWritten(), order);
    EXPECT_EQ(floppy.GetSector(3), ControlBufferOf(control));
    EXPECT_FALSE(AnythingWrittenToAPhysicalDrive());
    ExpectEveryHandleClosed();
  }

  bool RunOnDisk0() {
    RecordingSink sink(transcript, 0);
    rescue::FloppyDrive medium(platform);
    const bool result = WriteRescueRecords(platform, medium, 0, sink, room);
    ExpectEveryHandleClosed();
    return result;
  }

  // Room for every EBR the control buffer indexes, unless a test says less.
  int room = rescue::kMaxExtendedRecords;
};

TEST_F(RescueRecordsTest, PrimaryPartitionsOnlyGiveTheMbrAndTwoRecords) {
  FakeDevice& disk2 = platform.AddDevice(disk::PhysicalDriveName(2), 1 << 20);
  disk2.PutSector(0, BootRecord({{0, kNtfs, 63}, {1, 0x83, 4096}}, 0xC2));
  ExpectRescueRecordsOf({}, 2);
  const disk::Sector control = floppy.GetSector(3);
  EXPECT_EQ(std::vector<int>(control.begin(), control.begin() + 11),
            (std::vector<int>{0x24, 2, 0, 0, 0, 0x24, 0, 0, 0, 0, 0}));
  EXPECT_EQ(transcript, (std::vector<std::string>{"status: Reading Master Boot Record...",
                                                  "status: Writing Master Boot Record...",
                                                  "status: Writing Control Buffer..."}));
}

TEST_F(RescueRecordsTest, ThreeLogicalDrivesAreNumberedFromOne) {
  ExpectRescueRecordsOf(PutLogicalChain(disk, 63, 3));
  const disk::Sector control = floppy.GetSector(3);
  EXPECT_EQ(std::vector<int>(control.begin() + 10, control.begin() + 15),
            (std::vector<int>{0x24, 0x3F, 0, 0, 0}));
  EXPECT_EQ(control[20], '$');
  EXPECT_EQ(control[25], 0);
  EXPECT_EQ(transcript, (std::vector<std::string>{"status: Reading Master Boot Record...",
                                                  "status: Writing Master Boot Record...",
                                                  "status: Writing Partition Boot Record #1...",
                                                  "status: Writing Partition Boot Record #2...",
                                                  "status: Writing Partition Boot Record #3...",
                                                  "status: Writing Control Buffer..."}));
}

TEST_F(RescueRecordsTest, ChainsOfEitherLinkTypeInAnySlotAndAcrossTheWrap) {
  {
    SCOPED_TRACE("second entry of type 0x0F");
    ExpectRescueRecordsOf(PutLogicalChain(disk, 63, 3, 2048, 1, kExtendedLba));
  }
  {
    SCOPED_TRACE("extended entry in slot 3");
    platform.writes.clear();
    ExpectRescueRecordsOf(PutLogicalChain(disk, 1000, 2, 100, 3, kExtendedLba));
  }
  {
    SCOPED_TRACE("links wrap at 2^32");
    platform.writes.clear();
    ExpectRescueRecordsOf(PutLogicalChain(disk, 0xFFFFFF00U, 3, 0x180));
  }
}

TEST_F(RescueRecordsTest, AHundredLogicalDrivesFillTheControlBufferExactly) {
  ExpectRescueRecordsOf(PutLogicalChain(disk, 63, 100, 64));
  const disk::Sector control = floppy.GetSector(3);
  EXPECT_EQ(control[505], '$');
  EXPECT_EQ(control[510], 0);
  EXPECT_EQ(transcript.at(transcript.size() - 2), "status: Writing Partition Boot Record #100...");
}

TEST_F(RescueRecordsTest, AnOverlongOrLoopingChainIsRefusedWithoutAControlBuffer) {
  PutLogicalChain(disk, 63, 101, 64);
  EXPECT_FALSE(RunOnDisk0());
  EXPECT_EQ(std::vector<std::string>(transcript.end() - 3, transcript.end()),
            (std::vector<std::string>{"status: Writing Partition Boot Record #100...", kChainStatus,
                                      kChainMessage}));
  EXPECT_EQ(FloppySectorsWritten().size(), 102U);  // sector 3 cleared, the MBR and 100 EBRs
  EXPECT_TRUE(floppy.GetSector(3) == disk::Sector{});

  // EBR 3 links back to EBR 1: caught on reaching it, not after 100 copies.
  transcript.clear();
  platform.writes.clear();
  const int readsBefore = platform.ReadCount();
  const auto lbas = PutLogicalChain(disk, 63, 3);
  disk.PutSector(lbas[2], BootRecord({{0, kNtfs, 63}, {1, kExtended, 0}}, 3));
  EXPECT_FALSE(RunOnDisk0());
  EXPECT_EQ(transcript.at(transcript.size() - 3), "status: Writing Partition Boot Record #3...");
  EXPECT_EQ(transcript.back(), kChainMessage);
  EXPECT_EQ(FloppySectorsWritten(), (std::vector<std::uint64_t>{3, 4, 5, 6, 7}));
  EXPECT_EQ(platform.ReadCount() - readsBefore, 2 + 3 + 1);
}

TEST_F(RescueRecordsTest, AnUnreadableUnsignedOrGptMbrFailsBeforeAnyFloppyWrite) {
  const std::string read = std::string("app: ") + disk::kReadFailureMessage;
  const std::vector<std::string> failure = {"status: Reading Master Boot Record failed !",
                                            "warning: Failed to read Master Boot Record of your "
                                            "drive !"};
  PutLogicalChain(disk, 63, 1);
  platform.readFaults[1] = TransferFault::Fail;
  EXPECT_FALSE(RunOnDisk0());
  EXPECT_EQ(transcript, (std::vector<std::string>{"status: Reading Master Boot Record...", read,
                                                  failure[0], failure[1]}));

  transcript.clear();
  disk.PutSector(0, BootRecord({}, 0, false));
  EXPECT_FALSE(RunOnDisk0());
  EXPECT_EQ(transcript, (std::vector<std::string>{"status: Reading Master Boot Record...",
                                                  failure[0], failure[1]}));
  EXPECT_TRUE(platform.writes.empty());

  // A protective MBR, or a hybrid one with an NTFS entry beside it.
  for (const disk::Sector& gpt :
       {BootRecord({{0, 0xEE, 1}}),
        BootRecord({{0, kNtfs, 63}, {1, kExtended, 4096}, {3, 0xEE, 1}})}) {
    transcript.clear();
    disk.PutSector(0, gpt);
    EXPECT_FALSE(RunOnDisk0());
    EXPECT_EQ(transcript,
              (std::vector<std::string>{
                  "status: Reading Master Boot Record...",
                  "status: Failed :: GPT disks are not supported !",
                  "warning: This disk uses a GUID partition table.\nA rescue floppy can only hold "
                  "MBR partition tables; no rescue disk was created."}));
    EXPECT_TRUE(platform.writes.empty());
  }
}

TEST_F(RescueRecordsTest, OnlyTheEbrsBeforeTheRootDirectoryAreCopied) {
  room = rescue::ExtendedRecordRoom(rescue::kStandardRootDirectorySector);
  ExpectRescueRecordsOf(PutLogicalChain(disk, 63, 14, 64));

  transcript.clear();
  platform.writes.clear();
  PutLogicalChain(disk, 63, 15, 64);
  EXPECT_FALSE(RunOnDisk0());
  EXPECT_EQ(std::vector<std::string>(transcript.end() - 3, transcript.end()),
            (std::vector<std::string>{
                "status: Writing Partition Boot Record #14...",
                "status: Failed :: Too many partitions for a rescue floppy !",
                "warning: Your drive has more logical partitions than a rescue floppy can hold (at "
                "most 14).\nNo rescue disk was created."}));
  EXPECT_EQ(FloppySectorsWritten().back(), 18U);
  EXPECT_EQ(floppy.GetSector(3), disk::Sector{});
}

TEST_F(RescueRecordsTest, AnUnreadableEbrFailsAndLeavesNoControlBufferEvenAnOldOne) {
  // The second EBR lies past the end of the disk, so reading it fails.
  FakeDevice& small = platform.AddDevice(disk::PhysicalDriveName(0), 4096);
  PutLogicalChain(small, 63, 2, 8192);
  floppy.PutSector(3, ControlBufferOf({1, 0, 77}));
  EXPECT_FALSE(RunOnDisk0());
  EXPECT_EQ(std::vector<std::string>(transcript.end() - 3, transcript.end()),
            (std::vector<std::string>{"status: Writing Partition Boot Record #1...", kReadMessage,
                                      "status: Failed :: Error reading partition chain !"}));
  EXPECT_EQ(std::ranges::count(transcript, kReadMessage), 1);
  EXPECT_EQ(FloppySectorsWritten(), (std::vector<std::uint64_t>{3, 4, 5}));
  EXPECT_EQ(floppy.GetSector(3), disk::Sector{});
}

TEST_F(RescueRecordsTest, AnUnsignedEbrEndsTheWalkButNotTheStage) {
  const auto lbas = PutLogicalChain(disk, 63, 3);
  disk.PutSector(lbas[1], BootRecord({}, 0, false));
  ExpectRescueRecordsOf({lbas[0]});
  EXPECT_EQ(transcript.back(), "status: Writing Control Buffer...");
}

TEST_F(RescueRecordsTest, AFailedFloppyWriteEndsTheStageBeforeTheControlBuffer) {
  // Writes go to sectors 3 (cleared), 4, 5, 6 and 3 in turn: fail all five
  // attempts of one.
  for (const int failingWrite : {1, 2, 5}) {
    SCOPED_TRACE(failingWrite);
    std::vector<std::string> caseTranscript;
    FakePlatform fresh(caseTranscript);
    PutLogicalChain(fresh.AddDevice(disk::PhysicalDriveName(0), 1 << 20), 63, 2);
    fresh.AddDevice(disk::kFloppyDeviceName, kFloppySectors);
    for (int attempt = 0; attempt < 5; ++attempt) {
      fresh.writeFaults[failingWrite + attempt] = TransferFault::Fail;
    }
    RecordingSink sink(caseTranscript, 0);
    rescue::FloppyDrive medium(fresh);
    EXPECT_FALSE(WriteRescueRecords(fresh, medium, 0, sink, rescue::kMaxExtendedRecords));
    EXPECT_EQ(std::vector<std::string>(caseTranscript.end() - 2, caseTranscript.end()),
              (std::vector<std::string>{std::string("app: ") + disk::kWriteFailureMessage,
                                        kFloppyStatus}));
    if (failingWrite < 5) {
      EXPECT_EQ(fresh.Device(disk::kFloppyDeviceName).GetSector(3), disk::Sector{});
    }
    EXPECT_TRUE(fresh.OpenHandles().empty());
  }
}

}  // namespace
}  // namespace corvane::testing
