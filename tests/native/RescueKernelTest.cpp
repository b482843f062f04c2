#include "boot/RescueKernel.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "boot/RescueData.h"
#include "tests/support/DiskImages.h"
#include "tests/support/FakePlatform.h"

namespace corvane::testing {
namespace {

using boot::ChainCheck;
using boot::ControlCheck;
using boot::Outcome;

constexpr std::uint32_t kBase = 2048;
constexpr std::uint64_t kDiskSectors = 1 << 20;

// A PC for the kernel: a floppy and hard disks in memory, keys typed in
// advance ('n' once they run out), and a record of what it showed and wrote.
class FakeMachine final : public boot::Machine {  // NOLINT(*-virtual-class-destructor): not deleted
 public:
  FakeDevice floppy{2880};
  std::vector<FakeDevice> disks{FakeDevice(kDiskSectors)};
  std::string keys;
  std::string shown;
  std::vector<std::uint32_t> diskWrites;
  std::set<std::uint32_t> refusedWrites;
  bool extensions = true;

  void Write(const char* text, boot::Tone /*tone*/) override { shown += text; }
  char WaitForKey() override {
    if (keys.empty()) {
      return 'n';
    }
    const char key = keys.front();
    keys.erase(0, 1);
    return key;
  }
  bool ReadFloppySector(int sector, boot::SectorBuffer out) override {
    const disk::Sector data = floppy.GetSector(static_cast<std::uint64_t>(sector));
    std::copy(data.begin(), data.end(), out.begin());
    return true;
  }
  int CountHardDisks() override { return static_cast<int>(disks.size()); }
  bool HasDiskExtensions() override { return extensions; }
  bool ReadDiskSize(std::uint64_t& sectors) override {
    sectors = disks.front().SizeInBytes() / disk::kSectorSize;
    return true;
  }
  bool ReadDiskSector(std::uint32_t lba, boot::SectorBuffer out) override {
    const disk::Sector data = disks.front().GetSector(lba);
    std::copy(data.begin(), data.end(), out.begin());
    return true;
  }
  bool WriteDiskSector(std::uint32_t lba, boot::ConstSectorBuffer data) override {
    diskWrites.push_back(lba);
    if (refusedWrites.contains(lba)) {
      return false;
    }
    disk::Sector sector{};
    std::copy(data.begin(), data.end(), sector.begin());
    disks.front().PutSector(lba, sector);
    return true;
  }
};

// Writes the rescue floppy of the first disk as the program lays it out: the
// MBR in sector 4, EBR k in sector 4 + k, the control buffer in sector 3.
void MakeRescueFloppy(FakeMachine& machine, const std::vector<std::uint32_t>& ebrs) {
  std::vector<std::uint32_t> records{0, 0};
  machine.floppy.PutSector(4, machine.disks.front().GetSector(0));
  for (std::size_t k = 0; k < ebrs.size(); ++k) {
    machine.floppy.PutSector(5 + k, machine.disks.front().GetSector(ebrs[k]));
    records.push_back(ebrs[k]);
  }
  machine.floppy.PutSector(3, ControlBufferOf(records));
}

// The kernel's 52 KB of working memory, on the heap.
Outcome RunKernel(FakeMachine& machine) {
  const auto memory = std::make_unique<boot::RescueMemory>();
  return boot::RunRescue(machine, *memory);
}

TEST(ControlBufferTest, ValidBufferListsTheDriveAndEachCopy) {
  boot::RescueIndex index;
  ASSERT_EQ(boot::ReadControlBuffer(ControlBufferOf({2, 0, 63, 4159}), index), ControlCheck::Valid);
  EXPECT_EQ(index.driveNumber, 2U);
  EXPECT_EQ(index.copyCount, 3);
  EXPECT_EQ(index.lbas[1], 63U);
  EXPECT_EQ(index.lbas[2], 4159U);
}

TEST(ControlBufferTest, RejectsTruncatedUnterminatedOverlongAndNonZeroFirstLba) {
  boot::RescueIndex index;
  const disk::Sector valid = ControlBufferOf({0, 0, 63});
  EXPECT_EQ(boot::ReadControlBuffer(std::span(valid).first(300), index), ControlCheck::Truncated);
  EXPECT_EQ(boot::ReadControlBuffer(ControlBufferOf({0}), index), ControlCheck::NoMasterBootRecord);
  EXPECT_EQ(boot::ReadControlBuffer(disk::Sector{}, index), ControlCheck::NoRecords);
  disk::Sector unterminated = valid;
  unterminated[15] = 'X';
  EXPECT_EQ(boot::ReadControlBuffer(unterminated, index), ControlCheck::Unterminated);
  EXPECT_EQ(boot::ReadControlBuffer(ControlBufferOf({0, 7, 63}), index),
            ControlCheck::FirstLbaNotZero);
  EXPECT_EQ(index.copyCount, 0) << "left alone";

  // 102 records fill the sector up to the 0 at byte 510; a 103rd cannot end.
  std::vector<std::uint32_t> records(102, 0);
  EXPECT_EQ(boot::ReadControlBuffer(ControlBufferOf(records), index), ControlCheck::Valid);
  EXPECT_EQ(index.copyCount, 101);
  disk::Sector overlong = ControlBufferOf(records);
  overlong[510] = '$';
  EXPECT_EQ(boot::ReadControlBuffer(overlong, index), ControlCheck::TooManyRecords);
}

class ChainTest : public ::testing::Test {
 protected:
  // Checks the chain that the floppy of machine holds.
  [[nodiscard]] boot::ChainProblem Check() const {
    boot::RescueIndex index;
    const disk::Sector control = machine.floppy.GetSector(3);
    EXPECT_EQ(boot::ReadControlBuffer(control, index), ControlCheck::Valid);
    std::vector<std::uint8_t> copies;
    for (int copy = 0; copy < index.copyCount; ++copy) {
      const disk::Sector sector = machine.floppy.GetSector(4 + static_cast<std::uint64_t>(copy));
      copies.insert(copies.end(), sector.begin(), sector.end());
    }
    return boot::CheckChain(index, copies);
  }

  FakeMachine machine;
  std::vector<std::uint32_t> ebrs = PutLogicalChain(machine.disks.front(), kBase, 3);
};

TEST_F(ChainTest, AcceptsTheProgramsWalkAndOneItEndedEarly) {
  MakeRescueFloppy(machine, ebrs);
  EXPECT_EQ(Check().check, ChainCheck::Valid);
  MakeRescueFloppy(machine, {ebrs[0]});
  EXPECT_EQ(Check().check, ChainCheck::Valid);
  MakeRescueFloppy(machine, {});
  EXPECT_EQ(Check().check, ChainCheck::Valid);
}

TEST_F(ChainTest, LinksWrapAt32Bits) {
  const std::uint32_t base = 0xFFFFFF00U;
  machine.disks.front().PutSector(0, BootRecord({{1, kExtended, base}}));
  machine.floppy.PutSector(4, BootRecord({{1, kExtended, base}}));
  machine.floppy.PutSector(5, BootRecord({{0, kNtfs, 63}, {1, kExtended, 512}}));
  machine.floppy.PutSector(6, BootRecord({{0, kNtfs, 63}}));
  machine.floppy.PutSector(3, ControlBufferOf({0, 0, base, 256}));
  EXPECT_EQ(Check().check, ChainCheck::Valid);
}

TEST_F(ChainTest, RefusesCopiesThatDoNotFormTheChain) {
  MakeRescueFloppy(machine, {ebrs[0], ebrs[2]});
  EXPECT_EQ(Check().check, ChainCheck::BrokenLink);
  EXPECT_EQ(Check().copy, 2);

  MakeRescueFloppy(machine, {ebrs[1]});
  EXPECT_EQ(Check().check, ChainCheck::BrokenLink);
  EXPECT_EQ(Check().copy, 1);

  MakeRescueFloppy(machine, ebrs);
  machine.floppy.PutSector(6, BootRecord({{0, kNtfs, 63}}, 2, false));
  EXPECT_EQ(Check().check, ChainCheck::NoBootSignature);
  EXPECT_EQ(Check().copy, 2);

  MakeRescueFloppy(machine, ebrs);
  machine.floppy.PutSector(4, BootRecord({{0, kNtfs, 63}}));
  EXPECT_EQ(Check().check, ChainCheck::NoExtendedPartition);

  machine.floppy.PutSector(4, machine.disks.front().GetSector(0));
  machine.floppy.PutSector(6, BootRecord({{0, kNtfs, 63}, {1, kExtended, 0}}));
  machine.floppy.PutSector(3, ControlBufferOf({0, 0, ebrs[0], ebrs[1], ebrs[0]}));
  machine.floppy.PutSector(7, machine.floppy.GetSector(5));
  EXPECT_EQ(Check().check, ChainCheck::RepeatedLba) << "a loop";
}

class RescueKernelTest : public ChainTest {
 protected:
  void SetUp() override {
    MakeRescueFloppy(machine, ebrs);
    original = machine.disks.front();
  }

  // Zeroes the MBR and EBR 2, as the tests in QEMU do.
  void Damage() {
    machine.disks.front().PutSector(0, disk::Sector{});
    machine.disks.front().PutSector(ebrs[1], disk::Sector{});
  }

  bool DiskIsOriginal() {
    return machine.disks.front().WrittenSectors() == original.WrittenSectors();
  }

  FakeDevice original{kDiskSectors};
};

TEST_F(RescueKernelTest, YesWritesExactlyTheDifferingSectors) {
  Damage();
  machine.keys = "xY ";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
  EXPECT_EQ(machine.diskWrites, (std::vector<std::uint32_t>{0, ebrs[1]}));
  EXPECT_TRUE(DiskIsOriginal());
  EXPECT_NE(
      machine.shown.find("         LBA  copy      on the hard disk\n"
                         "           0  MBR       differs\n"
                         "        2048  EBR 1     same\n"
                         "        4096  EBR 2     differs\n"
                         "        6144  EBR 3     same\n"
                         "Partitions: 1 primary, extended at LBA 2048 with 3 logical drives.\n"
                         "Restore 2 sectors to the hard disk? (Y/N) Y\nRestored 2 sectors.\n"
                         "Remove the floppy and press any key to restart.\n"),
      std::string::npos)
      << machine.shown;
  EXPECT_TRUE(machine.keys.empty());
}

TEST_F(RescueKernelTest, NoWritesNothing) {
  Damage();
  const FakeDevice damaged = machine.disks.front();
  machine.keys = "n";
  EXPECT_EQ(RunKernel(machine), Outcome::Declined);
  EXPECT_TRUE(machine.diskWrites.empty());
  EXPECT_EQ(machine.disks.front().WrittenSectors(), damaged.WrittenSectors());
}

TEST_F(RescueKernelTest, UndamagedDiskHasNothingToRestore) {
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::NothingToRestore);
  EXPECT_TRUE(machine.diskWrites.empty());
  EXPECT_NE(machine.shown.find(
                "The disk's partition system matches this rescue floppy. Nothing to restore.\n"),
            std::string::npos);
}

TEST_F(RescueKernelTest, RefusesWithoutWritingWhatItCannotTrust) {
  Damage();
  machine.keys = "yyy";
  machine.disks.emplace_back(kDiskSectors);
  EXPECT_EQ(RunKernel(machine), Outcome::SeveralHardDisks);
  EXPECT_NE(machine.shown.find("More than one hard disk is attached. Remove all hard disks other "
                               "than the damaged one and restart.\n"),
            std::string::npos);
  machine.disks.pop_back();

  machine.floppy.PutSector(3, ControlBufferOf({0, 0, ebrs[0], ebrs[2]}));
  EXPECT_EQ(RunKernel(machine), Outcome::DamagedCopies);
  machine.floppy.PutSector(3, disk::Sector{});
  machine.shown.clear();
  EXPECT_EQ(RunKernel(machine), Outcome::NoRescueData);
  EXPECT_NE(machine.shown.find("This floppy holds no rescue data.\n"), std::string::npos);

  machine.floppy.PutSector(3, ControlBufferOf({0, 0, ebrs[0], ebrs[1], ebrs[2]}));
  machine.disks.front() = FakeDevice(ebrs[2]);
  EXPECT_EQ(RunKernel(machine), Outcome::DiskTooSmall);
  machine.extensions = false;
  EXPECT_EQ(RunKernel(machine), Outcome::NoDiskExtensions);
  EXPECT_TRUE(machine.diskWrites.empty());
}

TEST_F(RescueKernelTest, ReportsTheLbaWhoseWriteFailed) {
  Damage();
  machine.keys = "y";
  machine.refusedWrites.insert(ebrs[1]);
  EXPECT_EQ(RunKernel(machine), Outcome::RestoreFailed);
  EXPECT_NE(machine.shown.find("Restoring LBA 4096 failed: the disk refused the write.\n"),
            std::string::npos);
}

}  // namespace
}  // namespace corvane::testing
