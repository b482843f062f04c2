#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "disk/SectorAccess.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/RecordingSink.h"

namespace corvane::testing {

inline constexpr std::uint64_t kFloppySectors = 2880;
inline constexpr std::uint64_t kDiskSectors = 1ULL << 32;  // 2 TiB, sparse

// A machine with physical disk 0 and a floppy in drive A:, everything the
// user is shown collected in one transcript.
class RescueFixture : public ::testing::Test {
 protected:
  std::vector<std::string> transcript;
  FakePlatform platform{transcript};
  FakeDevice& disk = platform.AddDevice(disk::PhysicalDriveName(0), kDiskSectors);
  FakeDevice& floppy = platform.AddDevice(disk::kFloppyDeviceName, kFloppySectors);

  // The floppy sectors written, in the order of the writes.
  [[nodiscard]] std::vector<std::uint64_t> FloppySectorsWritten() const {
    std::vector<std::uint64_t> sectors;
    for (const WriteEvent& write : platform.writes) {
      if (write.target == disk::kFloppyDeviceName) {
        sectors.push_back(write.offset / disk::kSectorSize);
      }
    }
    return sectors;
  }

  [[nodiscard]] bool AnythingWrittenToAPhysicalDrive() const {
    return std::ranges::any_of(platform.writes, [](const WriteEvent& write) {
      return write.target.starts_with("\\\\.\\PhysicalDrive");
    });
  }

  void ExpectEveryHandleClosed() const { EXPECT_TRUE(platform.OpenHandles().empty()); }
};

}  // namespace corvane::testing
