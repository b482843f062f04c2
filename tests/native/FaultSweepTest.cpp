// Fails every platform call of a whole creation in turn, on disks of each
// shape, and checks what no failure may ever do: report success for an
// incomplete floppy, leave an index on it, keep a handle, touch a hard disk,
// or leave the button disabled.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "rescue/RescueDisk.h"
#include "tests/support/DiskImages.h"
#include "tests/support/RescueFixture.h"

namespace corvane::testing {
namespace {

const std::set<std::string> kFailureStatuses = {
    "Failed :: Error copying kernel image file !",
    "Failed :: Error copying UEFI rescue programs !",
    "Failed :: Error reading UEFI rescue program !",
    "Failed :: Boot sector image file not found !",
    "Failed :: Error reading boot sector image !",
    "Failed :: Error writing floppy disk sectors !",
    "Reading Master Boot Record failed !",
    "Failed :: Error reading partition chain !",
    "Failed :: Invalid partition chain !",
    "Failed :: Too many partitions for a rescue floppy !",
    "Failed :: GPT disks are not supported !",
    "Failed :: Error reading floppy disk !",
    "Failed :: Rescue disk verification failed !",
};

// One kind of platform call: how often a creation makes it, and how to make
// its n-th occurrence fail.
struct CallKind {
  const char* name;
  std::function<int(const FakePlatform&)> count;
  std::function<void(FakePlatform&, int)> fail;
};

const CallKind kCallKinds[] = {
    {"open", &FakePlatform::OpenCount, [](FakePlatform& p, int n) { p.openFaults.insert(n); }},
    {"position", &FakePlatform::PositionCount,
     [](FakePlatform& p, int n) { p.positionFaults.insert(n); }},
    {"read", &FakePlatform::ReadCount,
     [](FakePlatform& p, int n) { p.readFaults[n] = TransferFault::Fail; }},
    {"short read", &FakePlatform::ReadCount,
     [](FakePlatform& p, int n) { p.readFaults[n] = TransferFault::Short; }},
    {"write", &FakePlatform::WriteCount,
     [](FakePlatform& p, int n) { p.writeFaults[n] = TransferFault::Fail; }},
    {"short write", &FakePlatform::WriteCount,
     [](FakePlatform& p, int n) { p.writeFaults[n] = TransferFault::Short; }},
    {"lost write", &FakePlatform::WriteCount,
     [](FakePlatform& p, int n) { p.writeFaults[n] = TransferFault::Lost; }},
    {"copy", [](const FakePlatform&) { return 1; },
     [](FakePlatform& p, int /*n*/) { p.copyFails = true; }},
};

// A machine with one disk of the given shape and a freshly formatted floppy
// holding the kernel.
class Machine {
 public:
  explicit Machine(int logicalDrives) {
    const disk::Sector bootSector = FormattedBootSector(rescue::kStandardFloppyBpb);
    platform.files["os\\bs"].assign(bootSector.begin(), bootSector.end());
    platform.files["os\\bootcore.bin"] = Bytes("KERNEL", 1000);
    if (logicalDrives == 0) {
      disk.PutSector(0, BootRecord({{0, kNtfs, 63}}, 0x0A));
    } else {
      ebrLbas = PutLogicalChain(disk, 63, logicalDrives);
    }
    ShipUefiPrograms(platform);
    FormatRescueFloppy(platform);
  }

  // Runs a creation and checks every invariant; true when it succeeded.
  bool CreateAndCheck(const std::string& trace) {
    SCOPED_TRACE(trace);
    RecordingSink sink(transcript, 0);
    rescue::CreateRescueDisk(platform, sink);
    const bool succeeded = std::ranges::count(transcript, std::string("notice")) == 1;
    EXPECT_TRUE(sink.buttonEnabled);
    EXPECT_TRUE(platform.OpenHandles().empty());
    EXPECT_TRUE(std::ranges::none_of(platform.writes, [](const WriteEvent& write) {
      return write.target.starts_with("\\\\.\\PhysicalDrive");
    }));
    if (succeeded) {
      ExpectCompleteRescueFloppy();
    } else {
      EXPECT_TRUE(kFailureStatuses.contains(sink.status)) << sink.status;
      EXPECT_EQ(floppy.GetSector(3), disk::Sector{}) << "a failed run left an index";
    }
    return succeeded;
  }

  std::vector<std::string> transcript;
  FakePlatform platform{transcript};

 private:
  void ExpectCompleteRescueFloppy() const {
    std::vector<std::uint32_t> control{0, 0};
    EXPECT_EQ(floppy.GetSector(4), disk.GetSector(0));
    for (std::size_t k = 0; k < ebrLbas.size(); ++k) {
      EXPECT_EQ(floppy.GetSector(5 + k), disk.GetSector(ebrLbas[k]));
      control.push_back(ebrLbas[k]);
    }
    EXPECT_EQ(floppy.GetSector(3), ControlBufferOf(control));
    EXPECT_EQ(platform.files.at("a:\\bootcore.bin"), platform.files.at("os\\bootcore.bin"));
  }

  FakeDevice& disk = platform.AddDevice(disk::PhysicalDriveName(0), kDiskSectors);
  FakeDevice& floppy = platform.AddDevice(disk::kFloppyDeviceName, kFloppySectors);
  std::vector<std::uint32_t> ebrLbas;
};

TEST(FaultSweepTest, NoFailedCallEverYieldsABrokenRescueFloppyReportedAsSuccess) {
  int runs = 0;
  for (const int logicalDrives : {0, 3, 14}) {
    Machine clean(logicalDrives);
    ASSERT_TRUE(clean.CreateAndCheck("no fault"));
    for (const CallKind& kind : kCallKinds) {
      for (int n = 1; n <= kind.count(clean.platform); ++n) {
        Machine machine(logicalDrives);
        kind.fail(machine.platform, n);
        machine.CreateAndCheck(std::to_string(logicalDrives) + " logical drives, " + kind.name +
                               " " + std::to_string(n) + " fails");
        ++runs;
      }
    }
  }
  std::printf("fault sweep: %d runs swept\n", runs);
}

}  // namespace
}  // namespace corvane::testing
