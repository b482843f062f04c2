#include <gtest/gtest.h>

#include <functional>

#include "disk/SectorAccess.h"
#include "tests/support/DiskImages.h"
#include "tests/support/RescueFixture.h"

namespace corvane::testing {
namespace {

using disk::PhysicalDriveName;
using disk::ReadDriveSectors;
using disk::Sector;
using disk::WriteFloppySectors;

const std::string kReadMessage = std::string("app: ") + disk::kReadFailureMessage;
const std::string kWriteMessage = std::string("app: ") + disk::kWriteFailureMessage;

TEST(PhysicalDriveNameTest, AddsTheLowByteOfTheDriveNumberToTheLastCharacter) {
  EXPECT_EQ(PhysicalDriveName(0), "\\\\.\\PhysicalDrive0");
  EXPECT_EQ(PhysicalDriveName(9), "\\\\.\\PhysicalDrive9");
  EXPECT_EQ(PhysicalDriveName(10), "\\\\.\\PhysicalDrive:");
  EXPECT_EQ(PhysicalDriveName(256 + 3), "\\\\.\\PhysicalDrive3");
}

using SectorAccessTest = RescueFixture;

TEST_F(SectorAccessTest, OpenPhysicalDriveIsReadOnlySharedAndNeverSpeaks) {
  {
    const auto device = disk::OpenPhysicalDrive(platform, 0);
    EXPECT_TRUE(device.IsValid());
    EXPECT_FALSE(disk::OpenPhysicalDrive(platform, 1).IsValid());
  }
  EXPECT_EQ(platform.calls, (std::vector<std::string>{"open \\\\.\\PhysicalDrive0 r share=rw",
                                                      "open-failed \\\\.\\PhysicalDrive1",
                                                      "close \\\\.\\PhysicalDrive0"}));
  EXPECT_TRUE(transcript.empty());
}

TEST_F(SectorAccessTest, ReadsAtSixtyFourBitOffsetsFromAnUnsignedLba) {
  for (const std::uint32_t lba : {0U, (1U << 23) + 5, 0xFFFFFFFFU}) {
    SCOPED_TRACE(lba);
    const Sector expected = BootRecord({}, static_cast<std::uint8_t>(lba % 251));
    disk.PutSector(lba, expected);
    Sector buffer{};
    EXPECT_EQ(ReadDriveSectors(platform, 0, lba, 1, buffer), 0);
    EXPECT_EQ(buffer, expected);
    EXPECT_NE(std::ranges::find(platform.calls, "seek \\\\.\\PhysicalDrive0 " +
                                                    std::to_string(std::uint64_t{lba} * 512)),
              platform.calls.end());
  }
  EXPECT_TRUE(transcript.empty());
  ExpectEveryHandleClosed();
}

TEST_F(SectorAccessTest, EveryReadFailureShowsOneMessageAndReturnsMinusOne) {
  struct Case {
    const char* name;
    int drive;
    std::function<void(FakePlatform&)> inject;
  };
  const std::vector<Case> cases = {
      {"drive 10 names no device", 10, [](FakePlatform&) {}},
      {"no such disk", 1, [](FakePlatform&) {}},
      {"positioning fails", 0,
       [](FakePlatform& p) { p.unpositionable.insert(PhysicalDriveName(0)); }},
      {"read fails", 0,
       [](FakePlatform& p) { p.readFaults[p.ReadCount() + 1] = TransferFault::Fail; }},
      {"read is short", 0,
       [](FakePlatform& p) { p.readFaults[p.ReadCount() + 1] = TransferFault::Short; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    transcript.clear();
    c.inject(platform);
    const int readsBefore = platform.ReadCount();
    Sector buffer{};
    EXPECT_EQ(ReadDriveSectors(platform, c.drive, 7, 1, buffer), -1);
    EXPECT_EQ(transcript, std::vector<std::string>{kReadMessage});
    if (std::string(c.name) == "positioning fails") {
      EXPECT_EQ(platform.ReadCount(), readsBefore) << "read after a failed positioning";
    }
    platform.unpositionable.clear();
    ExpectEveryHandleClosed();
  }
}

TEST_F(SectorAccessTest, AWriteTouchesOnlyTheAddressedSectorOfAnExclusiveFloppyHandle) {
  const auto data = Bytes("floppy", 512);
  EXPECT_EQ(WriteFloppySectors(platform, 7, 1, data), 0);
  EXPECT_EQ(platform.calls.front(), "open \\\\.\\A: w share=none");
  EXPECT_EQ(platform.writes, (std::vector<WriteEvent>{{"\\\\.\\A:", 7ULL * 512, 512}}));
  EXPECT_EQ(floppy.WrittenSectors().size(), 1U);
  EXPECT_TRUE(std::ranges::equal(floppy.GetSector(7), data));
  EXPECT_TRUE(transcript.empty());
  ExpectEveryHandleClosed();
}

TEST_F(SectorAccessTest, FailedWritesAreRetriedSilentlyAtTheSamePosition) {
  const auto data = Bytes("retry", 512);
  platform.writeFaults = {{1, TransferFault::Fail}, {2, TransferFault::Short}};
  EXPECT_EQ(WriteFloppySectors(platform, 3, 1, data), 0);
  EXPECT_EQ(platform.WriteCount(), 3);
  EXPECT_EQ(std::ranges::count(platform.calls, std::string("seek \\\\.\\A: 1536")), 3);
  EXPECT_EQ(floppy.WrittenSectors().size(), 1U);
  EXPECT_TRUE(std::ranges::equal(floppy.GetSector(3), data));
  EXPECT_TRUE(transcript.empty());
  ExpectEveryHandleClosed();
}

TEST_F(SectorAccessTest, EveryWriteFailureShowsOneMessageAndReturnsMinusOne) {
  struct Case {
    const char* name;
    int sector;
    int count;
    std::size_t bufferSize;
    std::function<void(FakePlatform&)> inject;
    int expectedWrites;
  };
  const auto fiveFailures = [](FakePlatform& p) {
    for (int n = 1; n <= 5; ++n) {
      p.writeFaults[n] = n % 2 == 0 ? TransferFault::Short : TransferFault::Fail;
    }
  };
  const std::vector<Case> cases = {
      {"five failed attempts", 1, 1, 512, fiveFailures, 5},
      {"no floppy drive", 1, 1, 512, [](FakePlatform& p) { p.unopenable.insert("\\\\.\\A:"); }, 0},
      {"positioning fails", 1, 1, 512,
       [](FakePlatform& p) { p.unpositionable.insert("\\\\.\\A:"); }, 0},
      {"buffer shorter than the count", 1, 2, 512, [](FakePlatform&) {}, 0},
      {"no sectors", 1, 0, 512, [](FakePlatform&) {}, 0},
      {"negative sector", -1, 1, 512, [](FakePlatform&) {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> caseTranscript;
    FakePlatform fresh(caseTranscript);
    fresh.AddDevice("\\\\.\\A:", kFloppySectors);
    c.inject(fresh);
    const std::vector<std::uint8_t> data(c.bufferSize, 0xEE);
    EXPECT_EQ(WriteFloppySectors(fresh, c.sector, c.count, data), -1);
    EXPECT_EQ(caseTranscript, std::vector<std::string>{kWriteMessage});
    EXPECT_EQ(fresh.WriteCount(), c.expectedWrites);
    EXPECT_TRUE(fresh.OpenHandles().empty());
  }
}

}  // namespace
}  // namespace corvane::testing
