#include "rescue/RescueDisk.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/DiskImages.h"
#include "tests/support/RescueFixture.h"

namespace corvane::testing {
namespace {

using rescue::CreateRescueDisk;

const std::string kPrompt = "info: Please insert a clean, formatted floppy disk.";
const std::string kBootSectorMessage = "warning: Failed to read boot sector image file !";
const std::string kWriteMessage = std::string("app: ") + disk::kWriteFailureMessage;

class RescueDiskTest : public RescueFixture {
 protected:
  RescueDiskTest() {
    platform.files["os\\bs"] = Bytes("BOOTSECTOR", 512);
    platform.files["os\\bootcore.bin"] = Bytes("KERNEL", 3000);
    lbas = PutLogicalChain(disk, 63, 3);
  }

  void Run(int selected = 0) {
    RecordingSink sink(transcript, selected);
    CreateRescueDisk(platform, sink);
    status = sink.status;
    ExpectEveryHandleClosed();
    EXPECT_FALSE(AnythingWrittenToAPhysicalDrive());
  }

  // What the user saw in dialogs and message boxes, without the status texts.
  [[nodiscard]] std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    std::ranges::copy_if(transcript, std::back_inserter(messages), [](const std::string& line) {
      return !line.starts_with("status: ") && !line.starts_with("button: ");
    });
    return messages;
  }

  std::vector<std::uint32_t> lbas;
  std::string status;
};

TEST_F(RescueDiskTest, WithoutASelectionOnlyAsks) {
  Run(-1);
  EXPECT_EQ(transcript, std::vector<std::string>{
                            "info: Please select a disk for which rescue disk is to be created !"});
  EXPECT_EQ(status, "Ready");
  EXPECT_TRUE(platform.calls.empty());
}

TEST_F(RescueDiskTest, ARunFillsTheFloppyInOrderAndReportsSuccess) {
  Run();
  EXPECT_EQ(
      transcript,
      (std::vector<std::string>{
          "button: off", kPrompt, "status: Copying Kernel Image File...",
          "status: Writing disk Boot Sector...", "status: Reading Master Boot Record...",
          "status: Writing Master Boot Record...", "status: Writing Partition Boot Record #1...",
          "status: Writing Partition Boot Record #2...",
          "status: Writing Partition Boot Record #3...", "status: Writing Control Buffer...",
          "status: Corvane Disk Successfully Created", "notice", "button: on"}));
  EXPECT_EQ(platform.writes.front(), (WriteEvent{"a:\\bootcore.bin", 0, 3000}));
  EXPECT_EQ(FloppySectorsWritten(), (std::vector<std::uint64_t>{0, 3, 4, 5, 6, 7, 3}));
  EXPECT_EQ(platform.files.at("a:\\bootcore.bin"), platform.files.at("os\\bootcore.bin"));
  EXPECT_TRUE(std::ranges::equal(floppy.GetSector(0), platform.files.at("os\\bs")));
  EXPECT_EQ(floppy.GetSector(3), ControlBufferOf({0, 0, lbas[0], lbas[1], lbas[2]}));
  const auto copy = std::ranges::find(platform.calls, "copy os\\bootcore.bin a:\\bootcore.bin");
  ASSERT_NE(copy, platform.calls.end());
  EXPECT_EQ(*(copy + 1), "sleep 3000");
  EXPECT_EQ(*(copy + 2), "readfile os\\bs");
}

TEST_F(RescueDiskTest, OnlyTheFirst512BytesOfALongerBootSectorImageAreWritten) {
  platform.files["os\\bs"] = Bytes("0123456789", 600);
  Run();
  EXPECT_EQ(status, "Corvane Disk Successfully Created");
  EXPECT_TRUE(std::ranges::equal(floppy.GetSector(0), Bytes("0123456789", 512)));
  EXPECT_EQ(floppy.GetSector(1), disk::Sector{});
}

struct FailureCase {
  const char* name;
  std::function<void(FakePlatform&)> inject;
  std::string finalStatus;
  std::vector<std::string> messages;
  std::vector<std::uint64_t> floppySectors;
};

std::function<void(FakePlatform&)> FailAllAttemptsOfWrite(int first) {
  return [first](FakePlatform& p) {
    for (int n = first; n < first + disk::kFloppyWriteAttempts; ++n) {
      p.writeFaults[n] = TransferFault::Fail;
    }
  };
}

// An os\bs whose BPB has one reserved sector and two FATs of fatSectors each,
// which puts the root directory at sector 1 + 2 * fatSectors.
std::function<void(FakePlatform&)> UseBootSectorWithFatsOf(std::uint8_t fatSectors) {
  return [fatSectors](FakePlatform& p) {
    auto& bootSector = p.files["os\\bs"];
    bootSector.assign(512, 0);
    bootSector[12] = 2;
    bootSector[14] = 1;
    bootSector[16] = 2;
    bootSector[22] = fatSectors;
  };
}

void PrintTo(const FailureCase& failure, std::ostream* out) { *out << failure.name; }

class RescueDiskFailureTest : public RescueDiskTest,
                              public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RescueDiskFailureTest, EndsWithItsTextsTheButtonEnabledAndRoomForAnotherRun) {
  GetParam().inject(platform);
  Run();
  EXPECT_EQ(status, GetParam().finalStatus);
  EXPECT_EQ(Messages(), GetParam().messages);
  EXPECT_EQ(transcript.back(), "button: on");
  EXPECT_EQ(FloppySectorsWritten(), GetParam().floppySectors);
  EXPECT_EQ(floppy.GetSector(3), disk::Sector{});

  transcript.clear();
  platform.copyFails = false;
  platform.readFaults.clear();
  platform.writeFaults.clear();
  platform.files["os\\bs"] = Bytes("BOOTSECTOR", 512);
  Run();
  EXPECT_EQ(status, "Corvane Disk Successfully Created") << "the run after the failure";
}

const FailureCase kFailureCases[] = {
    {"KernelCopyFails",
     [](FakePlatform& p) { p.copyFails = true; },
     "Failed :: Error copying kernel image file !",
     {kPrompt,
      "warning: Failed to copy the rescue kernel file to the floppy disk !\nPlease check that "
      "the floppy disk is inserted in the drive and that os\\bootcore.bin exists."},
     {}},
    {"BootSectorImageMissing",
     [](FakePlatform& p) { p.files.erase("os\\bs"); },
     "Failed :: Boot sector image file not found !",
     {kPrompt, kBootSectorMessage},
     {}},
    {"BootSectorImageOf511Bytes",
     [](FakePlatform& p) { p.files["os\\bs"].resize(511); },
     "Failed :: Error reading boot sector image !",
     {kPrompt, kBootSectorMessage},
     {}},
    {"FloppySector0NotWritable",
     FailAllAttemptsOfWrite(1),
     "Failed :: Error writing floppy disk sectors !",
     {kPrompt, kWriteMessage,
      "warning: Failed to write boot sector to floppy disk !\nPlease check that the floppy disk "
      "is inserted in the drive."},
     {}},
    {"MbrUnreadable",
     [](FakePlatform& p) { p.readFaults[1] = TransferFault::Fail; },
     "Reading Master Boot Record failed !",
     {kPrompt, std::string("app: ") + disk::kReadFailureMessage,
      "warning: Failed to read Master Boot Record of your drive !"},
     {0}},
    {"RecordWriteFails",
     FailAllAttemptsOfWrite(4),
     "Failed :: Error writing floppy disk sectors !",
     {kPrompt, kWriteMessage},
     {0, 3, 4}},
    {"SecondEbrUnreadable",
     [](FakePlatform& p) { p.readFaults[4] = TransferFault::Fail; },
     "Failed :: Error reading partition chain !",
     {kPrompt, std::string("app: ") + disk::kReadFailureMessage},
     {0, 3, 4, 5}},
    // The root directory at sector 7: EBRs fit in sectors 5 and 6 only.
    {"BootSectorLeavesRoomForTwoEbrs",
     UseBootSectorWithFatsOf(3),
     "Failed :: Too many partitions for a rescue floppy !",
     {kPrompt,
      "warning: Your drive has more logical partitions than a rescue floppy can hold (at most "
      "2).\nNo rescue disk was created."},
     {0, 3, 4, 5, 6}},
    // The root directory at sector 3, over the control buffer: nothing is
    // written.
    {"BootSectorLeavesNoRoomForTheRescueData",
     UseBootSectorWithFatsOf(1),
     "Failed :: Error reading boot sector image !",
     {kPrompt,
      "warning: The boot sector image's BPB leaves no room for the rescue data before the "
      "floppy's root directory.\nNo rescue disk was created."},
     {}},
};

INSTANTIATE_TEST_SUITE_P(Failures, RescueDiskFailureTest, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvane::testing
