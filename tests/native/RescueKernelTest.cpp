#include "boot/RescueKernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "boot/RescueData.h"
#include "partition/PartitionTable.h"
#include "tests/support/DiskImages.h"
#include "tests/support/FakePlatform.h"

namespace corvane::testing {
namespace {

using boot::ChainCheck;
using boot::ControlCheck;
using boot::Outcome;

constexpr std::uint32_t kBase = 2048;
constexpr std::uint64_t kDiskSectors = 1 << 20;

// A PC for the kernel: a floppy and hard disks in memory with the faults real
// ones have, a BIOS timer that ticks while the kernel idles, a keyboard (keys
// already in its buffer, keys a person types with a pause before each, 'n'
// once they run out, and a key held down that repeats), and a record of what
// it showed, read and wrote. A sector transfer on a disk whose geometry the
// kernel has not read, or whose sectors are not 512 bytes, fails the test:
// the BIOS would fill more than the kernel's buffer; so do a transfer past the
// disk's end and any use of the boot drive as a hard disk.
class FakeMachine final : public boot::Machine {  // NOLINT(*-virtual-class-destructor): not deleted
 public:
  FakeDevice floppy{2880};
  std::set<int> unreadableFloppySectors;
  std::vector<FakeDevice> disks{FakeDevice(kDiskSectors)};
  std::map<std::uint8_t, std::uint16_t> bytesPerSector;  // 512 where not set
  std::set<std::uint32_t> unreadable;                    // on every disk, until written
  std::set<std::uint32_t> refusedWrites;
  std::set<std::uint32_t> lostWrites;             // accepted, then lost
  std::set<std::uint32_t> unreadableOnceWritten;  // written, then unreadable
  bool extensions = true;
  bool geometryKnown = true;
  std::uint8_t bootDrive = 0x00;
  std::string typedAhead;        // in the keyboard buffer before anything asks
  std::string keys;              // typed once asked, one at a time
  std::uint32_t pause = 20;      // ticks before a person types a key
  std::uint32_t nextPause = 20;  // before the next one
  char heldKey = 0;              // held down until heldUntil, repeating every heldEvery ticks
  std::uint32_t heldUntil = 0;
  std::uint32_t heldEvery = 2;
  std::uint32_t now = 0;  // the BIOS timer
  std::uint32_t firstWriteAt = 0;
  std::string shown;   // as COM1 gets it
  std::string screen;  // rows as the screen shows them
  int mostRowsBeforeAKey = 0;
  std::vector<std::pair<std::uint8_t, std::uint32_t>> diskReads;
  std::vector<std::uint32_t> diskWrites;
  std::set<std::uint8_t> writtenDisks;
  std::map<std::uint8_t, std::string>
      diskNames;  // as a firmware names them; BIOS numbers elsewhere

  void Write(const char* text, boot::Tone /*tone*/) override {
    shown += text;
    screen += text;
  }
  void WrapScreenLine() override {
    shown += " ";
    screen += "\n";
  }
  bool TakeKey(char& key) override {
    if (!typedAhead.empty()) {
      return Take(typedAhead, key);
    }
    if (now < heldUntil) {
      if (now < lastKeyAt + heldEvery) {
        return false;
      }
      key = heldKey;
      lastKeyAt = now;
      return true;
    }
    if (now < lastKeyAt + nextPause) {
      return false;
    }
    nextPause = pause;
    CountRows();
    if (keys.empty()) {
      keys = "n";
    }
    return Take(keys, key);
  }
  std::uint32_t Ticks() override { return now; }
  void Idle() override {
    constexpr std::uint32_t kHalfADay = 786240;
    if (++now == kHalfADay) {
      throw std::runtime_error("the kernel took no key in half a day");
    }
  }
  std::uint8_t BootDrive() override { return bootDrive; }
  bool ReadFloppySector(int sector, boot::SectorBuffer out) override {
    const disk::Sector data = floppy.GetSector(static_cast<std::uint64_t>(sector));
    std::copy(data.begin(), data.end(), out.begin());
    return !unreadableFloppySectors.contains(sector);
  }
  int CountHardDisks() override { return static_cast<int>(disks.size()); }
  bool HasDiskExtensions(std::uint8_t disk) override {
    CheckNotBootDrive(disk);
    return extensions;
  }
  bool ReadDiskGeometry(std::uint8_t disk, boot::DiskGeometry& geometry) override {
    CheckNotBootDrive(disk);
    if (!geometryKnown) {
      return false;
    }
    geometry.sectors = Disk(disk).SizeInBytes() / disk::kSectorSize;
    geometry.bytesPerSector = bytesPerSector.contains(disk) ? bytesPerSector.at(disk) : 512;
    measured.insert(disk);
    return true;
  }
  bool ReadDiskSector(std::uint8_t disk, std::uint32_t lba, boot::SectorBuffer out) override {
    CheckTransfer(disk, lba);
    diskReads.emplace_back(disk, lba);
    const disk::Sector data = Disk(disk).GetSector(lba);
    std::copy(data.begin(), data.end(), out.begin());
    return !unreadable.contains(lba);
  }
  bool WriteDiskSector(std::uint8_t disk, std::uint32_t lba,
                       boot::ConstSectorBuffer data) override {
    CheckTransfer(disk, lba);
    firstWriteAt = diskWrites.empty() ? now : firstWriteAt;
    diskWrites.push_back(lba);
    writtenDisks.insert(disk);
    if (refusedWrites.contains(lba)) {
      return false;
    }
    unreadable.erase(lba);
    if (unreadableOnceWritten.contains(lba)) {
      unreadable.insert(lba);
    }
    if (!lostWrites.contains(lba)) {
      disk::Sector sector{};
      std::copy(data.begin(), data.end(), sector.begin());
      Disk(disk).PutSector(lba, sector);
    }
    return true;
  }
  const char* DiskName(std::uint8_t disk) override {
    return diskNames.contains(disk) ? diskNames.at(disk).c_str() : nullptr;
  }

  // The longest row the screen showed.
  [[nodiscard]] std::size_t WidestRow() const {
    std::size_t widest = 0;
    std::istringstream rows(screen);
    for (std::string row; std::getline(rows, row);) {
      widest = std::max(widest, row.size());
    }
    return widest;
  }

 private:
  FakeDevice& Disk(std::uint8_t disk) { return disks.at(disk - boot::kFirstHardDisk); }
  [[nodiscard]] std::uint16_t SectorSize(std::uint8_t disk) const {
    const std::uint16_t size = bytesPerSector.contains(disk) ? bytesPerSector.at(disk) : 512;
    return size == 0 ? 512 : size;
  }
  void CheckTransfer(std::uint8_t disk, std::uint32_t lba) {
    CheckNotBootDrive(disk);
    EXPECT_TRUE(measured.contains(disk) && SectorSize(disk) == 512)
        << "a transfer on disk " << int{disk} << " of unknown or wrong sector size";
    EXPECT_LT(lba, Disk(disk).SizeInBytes() / disk::kSectorSize)
        << "past the end of disk " << int{disk};
  }
  void CheckNotBootDrive(std::uint8_t disk) const {
    EXPECT_NE(disk, bootDrive) << "the rescue medium used as a hard disk";
  }
  bool Take(std::string& from, char& key) {
    key = from.front();
    from.erase(0, 1);
    lastKeyAt = now;
    return true;
  }
  void CountRows() {
    const auto rows =
        static_cast<int>(std::count(screen.begin() + rowsCounted, screen.end(), '\n'));
    mostRowsBeforeAKey = std::max(mostRowsBeforeAKey, rows);
    rowsCounted = static_cast<std::ptrdiff_t>(screen.size());
  }

  std::set<std::uint8_t> measured;
  std::ptrdiff_t rowsCounted = 0;
  std::uint32_t lastKeyAt = 0;
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

disk::Sector WithSize(disk::Sector record, int slot, std::uint32_t size) {
  disk::PutLittleEndian32(record, partition::EntryOffset(slot) + 12, size);
  return record;
}

// A used entry in slot: its own type, or 07h where the slot was empty.
disk::Sector WithEntry(disk::Sector record, int slot, std::uint32_t start, std::uint32_t size) {
  std::uint8_t& type = record[partition::EntryOffset(slot) + 4];
  type = type == 0 ? kNtfs : type;
  disk::PutLittleEndian32(record, partition::EntryOffset(slot) + 8, start);
  return WithSize(record, slot, size);
}

void SetSignature(FakeDevice& disk, std::uint32_t signature) {
  disk::Sector sector = disk.GetSector(0);
  disk::PutLittleEndian32(sector, 440, signature);
  disk.PutSector(0, sector);
}

bool Shows(const FakeMachine& machine, const std::string& text) {
  return machine.shown.find(text) != std::string::npos;
}

TEST(ControlBufferTest, ValidBufferListsTheDriveAndEachCopy) {
  boot::RescueIndex index;
  ASSERT_EQ(boot::ReadControlBuffer(ControlBufferOf({2, 0, 63, 4159}), 15, index),
            ControlCheck::Valid);
  EXPECT_EQ(index.driveNumber, 2U);
  EXPECT_EQ(index.copyCount, 3);
  EXPECT_EQ(index.lbas[1], 63U);
  EXPECT_EQ(index.lbas[2], 4159U);
}

TEST(ControlBufferTest, RejectsTruncatedUnterminatedAndNonZeroFirstLba) {
  boot::RescueIndex index;
  const disk::Sector valid = ControlBufferOf({0, 0, 63});
  EXPECT_EQ(boot::ReadControlBuffer(std::span(valid).first(300), 15, index),
            ControlCheck::Truncated);
  EXPECT_EQ(boot::ReadControlBuffer(ControlBufferOf({0}), 15, index),
            ControlCheck::NoMasterBootRecord);
  EXPECT_EQ(boot::ReadControlBuffer(disk::Sector{}, 15, index), ControlCheck::NoRecords);
  disk::Sector unterminated = valid;
  unterminated[15] = 'X';
  EXPECT_EQ(boot::ReadControlBuffer(unterminated, 15, index), ControlCheck::Unterminated);
  EXPECT_EQ(boot::ReadControlBuffer(ControlBufferOf({0, 7, 63}), 15, index),
            ControlCheck::FirstLbaNotZero);
  EXPECT_EQ(index.copyCount, 0) << "left alone";
}

// A boot sector whose BPB puts the root directory at sector rootDirectory.
disk::Sector BootSectorWithRootAt(int rootDirectory) {
  disk::Sector sector{};
  const std::vector<std::uint8_t> bpb{0x00, 0x02, 1, 1, 0, 1, 0xE0, 0, 0x40, 0x0B, 0xF0};
  std::copy(bpb.begin(), bpb.end(), sector.begin() + 11);
  sector[22] = static_cast<std::uint8_t>(rootDirectory - 1);  // one FAT after one reserved sector
  return sector;
}

TEST(ControlBufferTest, ListsNoMoreCopiesThanTheFloppyHolds) {
  EXPECT_EQ(boot::CopyRoom(disk::Sector{}), 15) << "the standard floppy's 14 EBRs and the MBR";
  EXPECT_EQ(boot::CopyRoom(BootSectorWithRootAt(8)), 4);
  EXPECT_EQ(boot::CopyRoom(BootSectorWithRootAt(200)), boot::kMaxCopies) << "what the kernel keeps";

  boot::RescueIndex index;
  std::vector<std::uint32_t> records(16, 0);
  EXPECT_EQ(boot::ReadControlBuffer(ControlBufferOf(records), 15, index), ControlCheck::Valid);
  EXPECT_EQ(index.copyCount, 15);
  records.push_back(0);
  EXPECT_EQ(boot::ReadControlBuffer(ControlBufferOf(records), 15, index),
            ControlCheck::MoreCopiesThanRoom);
  EXPECT_EQ(boot::ReadControlBuffer(ControlBufferOf(records), 99, index),
            ControlCheck::MoreCopiesThanRoom);
  EXPECT_EQ(boot::ReadControlBuffer(ControlBufferOf({0, 0, 1, 2, 3}), 4, index),
            ControlCheck::Valid);
  EXPECT_EQ(boot::ReadControlBuffer(ControlBufferOf({0, 0, 1, 2, 3, 4}), 4, index),
            ControlCheck::MoreCopiesThanRoom);
}

class ChainTest : public ::testing::Test {
 protected:
  // Checks the chain that the floppy of machine holds.
  [[nodiscard]] boot::ChainProblem Check() const {
    boot::RescueIndex index;
    const disk::Sector control = machine.floppy.GetSector(3);
    EXPECT_EQ(boot::ReadControlBuffer(control, boot::kMaxCopies, index), ControlCheck::Valid);
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

TEST_F(ChainTest, AcceptsTheProgramsWalk) {
  MakeRescueFloppy(machine, ebrs);
  EXPECT_EQ(Check().check, ChainCheck::Valid);
  MakeRescueFloppy(machine, {});
  EXPECT_EQ(Check().check, ChainCheck::Valid);
  machine.floppy.PutSector(4, BootRecord({{0, kNtfs, 63}}));
  EXPECT_EQ(Check().check, ChainCheck::Valid) << "primary partitions only";
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

  // Cut short, or its last link back to the first EBR: restored, the chain would loop.
  MakeRescueFloppy(machine, {ebrs[0], ebrs[1]});
  EXPECT_EQ(Check().check, ChainCheck::LinksOnward);
  EXPECT_EQ(Check().copy, 2);
  MakeRescueFloppy(machine, ebrs);
  machine.floppy.PutSector(7, BootRecord({{0, kNtfs, 63}, {1, kExtendedLba, 0}}));
  EXPECT_EQ(Check().check, ChainCheck::LinksOnward);
  machine.floppy.PutSector(7, BootRecord({{0, kNtfs, 63}, {1, kNtfs, 0}}));
  EXPECT_EQ(Check().check, ChainCheck::Valid) << "a link of another type ends the chain";
  machine.floppy.PutSector(5, BootRecord({{0, kNtfs, 63}, {1, kNtfs, 2048}}));
  EXPECT_EQ(Check().check, ChainCheck::BrokenLink) << "ended before its last copy";
  EXPECT_EQ(Check().copy, 2);

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
  machine.floppy.PutSector(5, machine.floppy.GetSector(6));
  machine.floppy.PutSector(3, ControlBufferOf({0, 0, ebrs[0], ebrs[0]}));
  EXPECT_EQ(Check().check, ChainCheck::RepeatedLba) << "an EBR that links to itself";
  EXPECT_EQ(Check().copy, 2);

  // An extended partition at LBA 0: its EBR's copy would go over the MBR.
  machine.floppy.PutSector(4, BootRecord({{0, kNtfs, 63}, {1, kExtended, 0}}));
  machine.floppy.PutSector(5, BootRecord({{0, kNtfs, 63}}));
  machine.floppy.PutSector(3, ControlBufferOf({0, 0, 0}));
  EXPECT_EQ(Check().check, ChainCheck::RepeatedLba);
  EXPECT_EQ(Check().copy, 1);
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
                         "Remove the rescue disk and press any key to restart.\n"),
      std::string::npos)
      << machine.shown;
  EXPECT_TRUE(machine.keys.empty());

  // Only its 55 AA lost: the EBR is still damaged, and restored.
  disk::Sector unsigned3 = machine.disks.front().GetSector(ebrs[2]);
  unsigned3[510] = 0;
  unsigned3[511] = 0;
  machine.disks.front().PutSector(ebrs[2], unsigned3);
  machine.diskWrites.clear();
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
  EXPECT_EQ(machine.diskWrites, (std::vector<std::uint32_t>{ebrs[2]}));
}

TEST_F(RescueKernelTest, NoWritesNothing) {
  Damage();
  const FakeDevice damaged = machine.disks.front();
  machine.keys = "Ny";
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
  EXPECT_TRUE(Shows(machine,
                    "More than one hard disk is attached. Remove all hard disks other "
                    "than the damaged one and restart.\nPress any key to restart.\n"));
  machine.disks.clear();
  EXPECT_EQ(RunKernel(machine), Outcome::NoHardDisk);
  EXPECT_TRUE(Shows(machine, "No hard disk found.\nPress any key to restart.\n"));
  machine.disks.push_back(original);
  Damage();

  machine.floppy.PutSector(3, ControlBufferOf({0, 0, ebrs[0], ebrs[2]}));
  EXPECT_EQ(RunKernel(machine), Outcome::DamagedCopies);
  machine.floppy.PutSector(3, disk::Sector{});
  machine.shown.clear();
  EXPECT_EQ(RunKernel(machine), Outcome::NoRescueData);
  EXPECT_TRUE(Shows(machine, "This floppy holds no rescue data.\n"));
  // Room for the MBR and 2 EBRs only, as the floppy's BPB lays it out.
  machine.floppy.PutSector(3, ControlBufferOf({0, 0, ebrs[0], ebrs[1], ebrs[2]}));
  machine.floppy.PutSector(0, BootSectorWithRootAt(7));
  EXPECT_EQ(RunKernel(machine), Outcome::NoRescueData);
  machine.floppy.PutSector(0, disk::Sector{});

  machine.bytesPerSector[0x80] = 4096;
  machine.shown.clear();
  machine.diskReads.clear();
  EXPECT_EQ(RunKernel(machine), Outcome::UnsupportedSectorSize);
  EXPECT_TRUE(Shows(machine,
                    "The BIOS reports 4096-byte sectors for this disk; a rescue floppy "
                    "holds 512-byte sectors. Nothing was written.\n"));
  EXPECT_TRUE(machine.diskReads.empty());
  machine.bytesPerSector[0x80] = 0;  // unset by some BIOSes: 512
  EXPECT_EQ(RunKernel(machine), Outcome::Declined);

  machine.disks.front() = FakeDevice(ebrs[2]);
  EXPECT_EQ(RunKernel(machine), Outcome::DiskTooSmall);
  // A chain may run backwards: the copy furthest out need not be the last.
  machine.disks.front() = FakeDevice(kDiskSectors);
  const std::vector<std::uint32_t> backwards =
      PutLogicalChain(machine.disks.front(), 3 * kBase, 3, 0U - kBase);
  MakeRescueFloppy(machine, backwards);
  machine.disks.front() = FakeDevice(backwards.front());
  EXPECT_EQ(RunKernel(machine), Outcome::DiskTooSmall);
  machine.extensions = false;
  EXPECT_EQ(RunKernel(machine), Outcome::NoDiskExtensions);
  machine.extensions = true;
  machine.geometryKnown = false;
  machine.diskReads.clear();
  EXPECT_EQ(RunKernel(machine), Outcome::NoDiskExtensions);
  EXPECT_TRUE(machine.diskReads.empty());
  EXPECT_TRUE(machine.diskWrites.empty());
}

TEST_F(RescueKernelTest, ReportsTheLbaWhoseWriteFailed) {
  Damage();
  machine.keys = "y";
  machine.refusedWrites.insert(ebrs[1]);
  EXPECT_EQ(RunKernel(machine), Outcome::RestoreFailed);
  EXPECT_TRUE(Shows(machine,
                    "Restoring LBA 4096 failed: the disk refused the write.\n"
                    "1 of 2 sectors were restored before.\n"));

  Damage();
  machine.refusedWrites.clear();
  machine.lostWrites.insert(0);
  machine.keys = "y";
  machine.shown.clear();
  EXPECT_EQ(RunKernel(machine), Outcome::RestoreFailed);
  EXPECT_TRUE(Shows(machine,
                    "Restoring LBA 0 failed: the sector does not read back as written.\n"
                    "0 of 2 sectors were restored before.\n"));

  Damage();
  machine.lostWrites.clear();
  machine.unreadableOnceWritten.insert(ebrs[1]);
  machine.keys = "y";
  machine.shown.clear();
  EXPECT_EQ(RunKernel(machine), Outcome::RestoreFailed);
  EXPECT_TRUE(
      Shows(machine, "Restoring LBA 4096 failed: the sector does not read back as written.\n"));
}

TEST_F(RescueKernelTest, RestoresAnUnreadableSectorAndStopsAtAnUnreadableFloppy) {
  Damage();
  machine.unreadable.insert(ebrs[0]);
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
  EXPECT_TRUE(Shows(machine, "        2048  EBR 1     unreadable\n"));
  EXPECT_FALSE(Shows(machine, "disk:"));
  EXPECT_TRUE(Shows(machine, "Restored 3 sectors.\n"));
  EXPECT_TRUE(DiskIsOriginal());

  Damage();
  machine.diskReads.clear();
  machine.unreadableFloppySectors.insert(6);
  machine.shown.clear();
  EXPECT_EQ(RunKernel(machine), Outcome::FloppyReadError);
  EXPECT_TRUE(Shows(machine, "Floppy read error at sector 6.\nPress any key to restart.\n"));
  EXPECT_TRUE(machine.diskReads.empty());
}

TEST_F(RescueKernelTest, OnlyAKeyPressedAfterTheQuestionAnswersIt) {
  Damage();
  // The first key since the start, however soon after the question, is a person's.
  machine.nextPause = 5;
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);

  Damage();
  machine.diskWrites.clear();
  machine.typedAhead = "yy";
  machine.keys = "n";
  EXPECT_EQ(RunKernel(machine), Outcome::Declined);
  EXPECT_TRUE(machine.diskWrites.empty());

  // Two questions answered by keys eleven ticks apart: a brisk typist, not a held key.
  machine.disks.front().PutSector(0, BootRecord({{0, kNtfs, 2048}}, 0x5E));
  machine.pause = 11;
  machine.keys = "yy";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
}

TEST_F(RescueKernelTest, AHeldKeyAnswersNothingUntilTheKeyboardIsQuiet) {
  // A floppy of another disk: two questions, which a held 'y' would both answer.
  machine.disks.front().PutSector(0, BootRecord({{0, kNtfs, 2048}}, 0x5E));
  machine.typedAhead = "y";  // already repeating when the question comes
  machine.heldKey = 'y';
  machine.heldEvery = 10;  // slower than any key repeats
  machine.heldUntil = 20 * 18;
  machine.keys = "n";
  EXPECT_EQ(RunKernel(machine), Outcome::Declined);
  EXPECT_TRUE(machine.diskWrites.empty());
  const std::string warning = "A key seems to be held down. Release all keys.\n";
  EXPECT_TRUE(Shows(machine, "Restore 1 sector to the hard disk? (Y/N) \n" + warning +
                                 "Restore 1 sector to the hard disk? (Y/N) N\n"));
  EXPECT_EQ(machine.shown.find(warning), machine.shown.rfind(warning)) << "said once";

  // Pressed for two seconds: that press answers the first question, not its
  // repeats the second.
  machine.shown.clear();
  machine.heldUntil = machine.now + 2 * 18;
  machine.keys = "yy";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
  EXPECT_GT(machine.firstWriteAt, machine.heldUntil);
  EXPECT_FALSE(Shows(machine, warning));

  // Held from before the question for a little over five seconds.
  machine.disks.front().PutSector(0, BootRecord({{0, kNtfs, 2048}}, 0x5E));
  machine.typedAhead = "y";
  machine.heldUntil = machine.now + 105;
  machine.keys = "n";
  EXPECT_EQ(RunKernel(machine), Outcome::Declined);
  EXPECT_TRUE(Shows(machine, warning));
}

TEST_F(RescueKernelTest, TheRescueMediumIsNeverAHardDiskToRestore) {
  Damage();
  const FakeDevice stick = machine.floppy;
  machine.disks.insert(machine.disks.begin(), stick);
  machine.bootDrive = 0x80;
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
  EXPECT_EQ(machine.writtenDisks, (std::set<std::uint8_t>{0x81}));
  EXPECT_EQ(machine.disks[1].WrittenSectors(), original.WrittenSectors());

  // Booted from 81h, a copy of the disk's LBA 0 on it too: the search skips it.
  machine.disks = {FakeDevice(kDiskSectors), original, original};
  machine.disks[2].PutSector(ebrs[1], disk::Sector{});
  machine.bootDrive = 0x81;
  machine.writtenDisks.clear();
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
  EXPECT_EQ(machine.writtenDisks, (std::set<std::uint8_t>{0x82}));

  // Booted from 81h, a number beyond the one hard disk the BIOS counts.
  machine.disks = {original};
  machine.disks[0].PutSector(ebrs[1], disk::Sector{});
  machine.writtenDisks.clear();
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
  EXPECT_EQ(machine.writtenDisks, (std::set<std::uint8_t>{0x80}));

  machine.disks = {stick};
  machine.bootDrive = 0x80;
  machine.shown.clear();
  EXPECT_EQ(RunKernel(machine), Outcome::NoHardDisk);
  EXPECT_TRUE(Shows(machine,
                    "No hard disk was found apart from the rescue disk itself. Nothing was "
                    "written.\nPress any key to restart.\n"));
}

TEST_F(RescueKernelTest, AGptDiskNeedsASecondYes) {
  disk::Sector protective = BootRecord({{0, 0xEE, 1}});  // disk signature 0
  protective = WithSize(protective, 0, static_cast<std::uint32_t>(kDiskSectors - 1));
  machine.disks.front().PutSector(0, protective);
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Declined);
  EXPECT_TRUE(machine.diskWrites.empty());
  EXPECT_TRUE(Shows(machine,
                    "This disk holds a GUID partition table (GPT); this floppy holds an MBR "
                    "partition table.\nThis floppy may belong to another disk.\n"));

  // A hybrid MBR, copied with its EEh entry: the disk is the floppy's own.
  disk::Sector hybrid = machine.floppy.GetSector(4);
  hybrid[partition::EntryOffset(2) + 4] = 0xEE;
  machine.floppy.PutSector(4, hybrid);
  machine.disks.front().PutSector(0, hybrid);
  machine.disks.front().PutSector(ebrs[1], disk::Sector{});
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
}

TEST_F(RescueKernelTest, AnEmptiedOrSameTableIsNoOtherTable) {
  machine.disks.front().PutSector(0, BootRecord({}, 0xA0));
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
  EXPECT_TRUE(Shows(machine,
                    "           0  MBR       differs\n"
                    "    disk: no partitions\n"
                    "    copy: 07h 63 0 MiB, 05h 2048 0 MiB\n"));
  EXPECT_FALSE(Shows(machine, "repartitioned"));
  EXPECT_TRUE(DiskIsOriginal());

  // Only the disk signature changed: the same partitions, another disk perhaps.
  SetSignature(machine.disks.front(), 0x5E6F7081);
  machine.shown.clear();
  EXPECT_EQ(RunKernel(machine), Outcome::Declined);
  EXPECT_TRUE(Shows(machine, "    disk: 07h 63 0 MiB, 05h 2048 0 MiB\n"));
  EXPECT_FALSE(Shows(machine, "repartitioned"));
}

TEST_F(RescueKernelTest, AFloppyOfAnotherDiskWritesOnlyAfterASecondYes) {
  machine.disks.front().PutSector(0, BootRecord({{0, kNtfs, 2048}}, 0x5E));
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Declined);
  EXPECT_TRUE(machine.diskWrites.empty());
  EXPECT_TRUE(Shows(machine,
                    "This floppy was made for the disk with signature A0A0A0A0; this disk has "
                    "5E5E5E5E.\nThis floppy may belong to another disk.\n"));
  EXPECT_TRUE(Shows(machine,
                    "Restore 1 sector to the hard disk? (Y/N) Y\n"
                    "Restore to this disk anyway? (Y/N) N\nNothing was written.\n"));

  machine.keys = "yy";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
  EXPECT_TRUE(DiskIsOriginal());

  // An LBA 0 without a signature, or that is no boot record, tells nothing: one question.
  for (const disk::Sector& silent :
       {BootRecord({{0, kNtfs, 2048}}, 0), BootRecord({{0, kNtfs, 2048}}, 0x5E, false)}) {
    machine.disks.front().PutSector(0, silent);
    machine.keys = "y";
    EXPECT_EQ(RunKernel(machine), Outcome::Restored);
  }
  // Nor does a copy without one.
  disk::Sector unsignedCopy = machine.floppy.GetSector(4);
  disk::PutLittleEndian32(unsignedCopy, 440, 0);
  machine.floppy.PutSector(4, unsignedCopy);
  machine.disks.front().PutSector(0, BootRecord({{0, kNtfs, 2048}}, 0x5E));
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
}

TEST_F(RescueKernelTest, PartitionsBeyondTheDiskNeedASecondYes) {
  disk::Sector mbr = machine.disks.front().GetSector(0);
  mbr = WithSize(mbr, 1, static_cast<std::uint32_t>(kDiskSectors));
  machine.disks.front().PutSector(0, mbr);
  MakeRescueFloppy(machine, ebrs);
  Damage();
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Declined);
  EXPECT_TRUE(Shows(machine,
                    "The partitions on this floppy end at sector 1050624; the BIOS "
                    "reports 1048576 sectors for this disk.\n"
                    "This floppy may belong to another disk.\n"));
  EXPECT_TRUE(machine.diskWrites.empty());

  // Any entry of any copy, the extended partition's too, and on a floppy with
  // the MBR alone: ending at the disk's last sector fits, one further does not.
  const std::uint32_t lastEbr = ebrs[2];
  for (const auto& [ebrCount, copy, slot, first] :
       {std::tuple{3, 0, 3, std::uint32_t{900000}}, std::tuple{3, 0, 1, kBase},
        std::tuple{3, 3, 0, lastEbr + 63}, std::tuple{0, 0, 3, std::uint32_t{900000}}}) {
    machine.disks.front() = original;
    MakeRescueFloppy(machine, std::vector(ebrs.begin(), ebrs.begin() + ebrCount));
    for (const std::uint64_t end : {kDiskSectors, kDiskSectors + 1}) {
      const std::uint64_t floppySector = 4 + static_cast<std::uint64_t>(copy);
      const std::uint32_t relativeTo = copy == 0 ? 0 : lastEbr;
      machine.floppy.PutSector(
          floppySector, WithEntry(machine.floppy.GetSector(floppySector), slot, first - relativeTo,
                                  static_cast<std::uint32_t>(end - first)));
      Damage();
      machine.keys = "y";
      EXPECT_EQ(RunKernel(machine), end == kDiskSectors ? Outcome::Restored : Outcome::Declined)
          << ebrCount << " EBRs, copy " << copy << " slot " << slot << " ending at " << end;
    }
  }
}

TEST_F(RescueKernelTest, ShowsBothTablesWhereTheDiskHoldsAnotherValidOne) {
  disk::Sector newer = BootRecord({{0, kNtfs, 2048}}, 0xA0);
  newer = WithSize(newer, 0, 409600);
  machine.disks.front().PutSector(0, newer);
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
  EXPECT_TRUE(Shows(machine,
                    "           0  MBR       differs\n"
                    "    disk: 07h 2048 200 MiB\n"
                    "    copy: 07h 63 0 MiB, 05h 2048 0 MiB\n"
                    "        2048  EBR 1     same\n"));
  EXPECT_TRUE(Shows(machine,
                    "The disk holds another valid partition table here: it may have "
                    "been repartitioned after this floppy was made.\n"));

  // A table ending at the disk's last sector is valid; one reaching past it is not.
  newer = WithSize(newer, 0, static_cast<std::uint32_t>(kDiskSectors - 2048));
  machine.disks.front().PutSector(0, newer);
  machine.shown.clear();
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
  EXPECT_TRUE(Shows(machine, "    disk: 07h 2048 511 MiB\n"));
  newer = WithSize(newer, 0, static_cast<std::uint32_t>(kDiskSectors - 2047));
  machine.disks.front().PutSector(0, newer);
  machine.shown.clear();
  EXPECT_EQ(RunKernel(machine), Outcome::Declined);
  EXPECT_FALSE(Shows(machine, "disk:"));
  // So for an EBR's link, which counts from the extended partition's start.
  const disk::Sector ebr = original.GetSector(ebrs[1]);
  const std::uint64_t first = kBase + partition::EntryStart(ebr, 1);
  for (const std::uint64_t end : {kDiskSectors, kDiskSectors + 1}) {
    machine.disks.front() = original;
    machine.disks.front().PutSector(ebrs[1],
                                    WithSize(ebr, 1, static_cast<std::uint32_t>(end - first)));
    machine.shown.clear();
    EXPECT_EQ(RunKernel(machine), Outcome::Declined);
    EXPECT_EQ(Shows(machine, "    disk:"), end == kDiskSectors) << "ending at " << end;
  }

  // A partition added in the last slot makes another table too.
  machine.disks.front() = original;
  machine.disks.front().PutSector(0, WithEntry(original.GetSector(0), 3, 900000, 1000));
  machine.shown.clear();
  EXPECT_EQ(RunKernel(machine), Outcome::Declined);
  EXPECT_TRUE(Shows(machine, "repartitioned"));
}

TEST_F(RescueKernelTest, SpeaksOfOneInTheSingular) {
  machine = FakeMachine();
  ebrs = PutLogicalChain(machine.disks.front(), kBase, 1);
  MakeRescueFloppy(machine, ebrs);
  machine.disks.front().PutSector(ebrs[0], disk::Sector{});
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
  EXPECT_TRUE(Shows(machine, "its MBR and 1 EBR.\n"));
  EXPECT_TRUE(Shows(machine, "with 1 logical drive.\n"));
  EXPECT_TRUE(Shows(machine, "Restore 1 sector to the hard disk? (Y/N) Y\nRestored 1 sector.\n"));
  MakeRescueFloppy(machine, {});
  EXPECT_EQ(RunKernel(machine), Outcome::NothingToRestore);
  EXPECT_TRUE(Shows(machine, "its MBR and 0 EBRs.\n"));
}

TEST_F(RescueKernelTest, WithSeveralDisksRestoresTheOneCarryingTheSignature) {
  machine.disks.front().PutSector(ebrs[1], disk::Sector{});
  FakeDevice other(kDiskSectors);
  other.PutSector(0, BootRecord({{0, kNtfs, 2048}}, 0x11));
  machine.disks = {other, machine.disks.front(), FakeDevice(kDiskSectors)};
  machine.bytesPerSector[0x82] = 4096;  // never read
  machine.keys = "y";
  EXPECT_EQ(RunKernel(machine), Outcome::Restored);
  EXPECT_TRUE(Shows(machine,
                    "Hard disk 81h carries this floppy's disk signature A0A0A0A0.\n"
                    "Hard disk 81h: 512 MiB.\n"));
  EXPECT_EQ(machine.diskWrites, (std::vector<std::uint32_t>{ebrs[1]}));
  EXPECT_EQ(machine.writtenDisks, (std::set<std::uint8_t>{0x81}));
  EXPECT_EQ(machine.disks[1].WrittenSectors(), original.WrittenSectors());
  for (const auto& [disk, lba] : machine.diskReads) {
    EXPECT_TRUE(disk == 0x81 || lba == 0) << "read disk " << int{disk} << " at " << lba;
  }

  // A firmware's own name for the disk replaces the BIOS number.
  machine.diskNames[0x81] = "SATA port 1";
  machine.shown.clear();
  EXPECT_EQ(RunKernel(machine), Outcome::NothingToRestore);
  EXPECT_TRUE(Shows(machine,
                    "Hard disk SATA port 1 carries this floppy's disk signature A0A0A0A0.\n"
                    "Hard disk SATA port 1: 512 MiB.\n"));
  machine.diskNames.clear();

  machine.diskWrites.clear();
  machine.disks[0] = machine.disks[1];  // a clone
  EXPECT_EQ(RunKernel(machine), Outcome::SeveralHardDisks);
  SetSignature(machine.disks[0], 0x5E6F7081);
  SetSignature(machine.disks[1], 0x1A2B3C4D);
  EXPECT_EQ(RunKernel(machine), Outcome::SeveralHardDisks) << "none carries it";
  SetSignature(machine.disks[1], 0);
  machine.floppy.PutSector(4, machine.disks[1].GetSector(0));
  EXPECT_EQ(RunKernel(machine), Outcome::SeveralHardDisks) << "a floppy without one";
  EXPECT_TRUE(machine.diskWrites.empty());

  // Disks without extended access, or whose geometry the BIOS keeps, are never read.
  machine.floppy.PutSector(4, original.GetSector(0));
  machine.disks[1] = original;
  machine.diskReads.clear();
  machine.extensions = false;
  EXPECT_EQ(RunKernel(machine), Outcome::SeveralHardDisks);
  machine.extensions = true;
  machine.geometryKnown = false;
  EXPECT_EQ(RunKernel(machine), Outcome::SeveralHardDisks);
  EXPECT_TRUE(machine.diskReads.empty());
}

// Rows of the screen, the last one first.
std::vector<std::string> RowsUpwards(const std::string& screen) {
  std::vector<std::string> rows;
  std::istringstream lines(screen);
  for (std::string row; std::getline(lines, row);) {
    rows.push_back(row);
  }
  std::reverse(rows.begin(), rows.end());
  return rows;
}

// The worst decision for an MBR and three EBRs: another disk's signature,
// partitions beyond its end, and another valid table at every LBA.
TEST_F(RescueKernelTest, TheDecisionFitsTheScreenAndLongerOnesPage) {
  const auto plant = [this](int ebrCount, bool fourEntries) {
    machine = FakeMachine();
    FakeDevice& disk = machine.disks.front();
    ebrs = PutLogicalChain(disk, kBase, ebrCount);
    disk::Sector mbr = disk.GetSector(0);
    mbr = WithSize(mbr, 0, 1U << 19U);
    mbr = WithSize(mbr, 1, 1U << 30U);
    if (fourEntries) {
      mbr = WithEntry(mbr, 2, 600000, 100000);
      mbr = WithEntry(mbr, 3, 800000, 100000);
    }
    disk.PutSector(0, mbr);
    MakeRescueFloppy(machine, ebrs);
    mbr = WithSize(mbr, 1, 1U << 19U);
    disk.PutSector(0, mbr);
    SetSignature(disk, 0x5E6F7081);
    for (const std::uint32_t lba : ebrs) {
      disk::Sector ebr = disk.GetSector(lba);
      ebr[0] ^= 0xFF;
      disk.PutSector(lba, ebr);
    }
  };
  plant(3, false);
  EXPECT_EQ(RunKernel(machine), Outcome::Declined);
  EXPECT_FALSE(Shows(machine, "Press any key for more.")) << machine.screen;
  EXPECT_LE(machine.mostRowsBeforeAKey, 24) << machine.screen;
  EXPECT_LE(machine.WidestRow(), 79U) << machine.screen;
  EXPECT_TRUE(Shows(machine, "    disk: 07h 4159 0 MiB, 05h 6144 0 MiB\n"))
      << "links from the base";

  // 27 rows: a page between blocks, the reasons again above the second question.
  plant(3, true);
  machine.keys = " y";
  EXPECT_EQ(RunKernel(machine), Outcome::Declined);
  EXPECT_LE(machine.mostRowsBeforeAKey, 24) << machine.screen;
  EXPECT_LE(machine.WidestRow(), 79U) << machine.screen;
  const std::string prompt = "Press any key for more.\n";
  ASSERT_TRUE(Shows(machine, prompt)) << machine.screen;
  const auto pagesBetweenBlocks = [&] {
    for (auto at = machine.shown.find(prompt); at != std::string::npos;
         at = machine.shown.find(prompt, at + 1)) {
      EXPECT_EQ(machine.shown[at - 1], '\n') << "a page ends inside a sentence:\n" << machine.shown;
      const std::string next = machine.shown.substr(at + prompt.size(), 9);
      EXPECT_TRUE(next != "    disk:" && next != "    copy:")
          << "a sector's tables apart from its row:\n"
          << machine.shown;
    }
  };
  pagesBetweenBlocks();
  const std::vector<std::string> rows = RowsUpwards(machine.screen);
  const auto question = std::find_if(rows.begin(), rows.end(), [](const std::string& row) {
    return row.starts_with("Restore to this disk anyway? (Y/N)");
  });
  ASSERT_NE(question, rows.end()) << machine.screen;
  const auto shownWithIt = [&](const std::string& text) {
    return std::any_of(question, std::min(question + 25, rows.end()),
                       [&](const std::string& row) { return row.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(shownWithIt("the disk with signature A0A0A0A0")) << machine.screen;
  EXPECT_TRUE(shownWithIt("The partitions on this floppy end at sector")) << machine.screen;
  EXPECT_EQ(question[1], "This floppy may belong to another disk.") << machine.screen;

  for (int ebrCount = 1; ebrCount <= 14; ++ebrCount) {
    plant(ebrCount, true);
    machine.keys = " y";
    EXPECT_EQ(RunKernel(machine), Outcome::Declined);
    pagesBetweenBlocks();
  }

  plant(14, false);
  EXPECT_EQ(RunKernel(machine), Outcome::Declined);
  EXPECT_TRUE(Shows(machine, "Press any key for more."));
  EXPECT_LE(machine.mostRowsBeforeAKey, 24) << machine.screen;
}

}  // namespace
}  // namespace corvane::testing
