// The rescue kernel on a PC whose floppy, hard disk, BIOS answers and keys
// come from the input: it must never write the hard disk outside the LBAs the
// control buffer lists, nor from copies that do not form the disk's chain,
// nor before a key pressed after a quiet keyboard answered each question, nor
// the drive it booted from. The Machine it runs on has no way to write the
// floppy at all.
//
// Input: an options byte (bits 0-1 the BIOS hard disk count: 1, 0, 2, -1;
// bit 2 no int 13h extensions; bit 3 the disk size unknown; bit 4 keys run
// out as 'n' rather than 'y'; bit 5 every other disk a clone of the copies'
// disk's LBA 0, else zeros; bit 6 the copies' disk has 4096-byte sectors;
// bit 7 booted from hard disk 80h, the copies' disk then 81h), the disk's size in sectors (32
// bits), a floppy sector whose reads fail plus one (0: none), a key count and the keys (bit 7 set:
// the key comes one tick after the one before, as a held key's repeats do; else after a pause), the
// 512 bytes of floppy sector 3, then the copies in floppy order: each a sector as SectorFrom reads
// it and a byte for the disk at its LBA (bits 0-1: holds the copy, zeros, the copy with its first
// byte changed, cannot be read; bit 2 refuses writes; bit 3 loses writes).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "boot/Machine.h"
#include "boot/RescueData.h"
#include "boot/RescueKernel.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzOracles.h"

namespace corvane::fuzzing {
namespace {

constexpr int kControlSector = 3;
constexpr int kFirstCopySector = 4;
constexpr std::size_t kMaxKeys = 8;
// A key after this many ticks of a quiet keyboard is one a person pressed.
constexpr std::uint32_t kQuietTicks = 10;
constexpr std::uint32_t kPause = 20;
constexpr std::uint8_t kRepeatBit = 0x80;

// The disk at a copy's LBA, in bits 0-1 of its state byte; 0 holds the copy.
constexpr unsigned kZeros = 1;
constexpr unsigned kChanged = 2;
constexpr unsigned kUnreadable = 3;

using Sectors = std::map<std::uint32_t, disk::Sector>;

// The PC: sectors in maps, every hard disk write recorded, keys arriving on
// a timer that ticks while the kernel idles. The copies come from one hard
// disk (80h, or 81h when the rescue booted from 80h), whose LBAs may fail;
// the others hold only an LBA 0 until the kernel writes them.
class FuzzMachine final : public boot::Machine {  // NOLINT(*-virtual-class-destructor): not deleted
 public:
  std::map<int, disk::Sector> floppy;
  int failingFloppySector = -1;
  std::map<std::uint8_t, Sectors> disks;
  // On the copies' disk.
  std::set<std::uint32_t> unreadable;
  std::set<std::uint32_t> refusing;
  std::set<std::uint32_t> losing;
  int hardDisks = 1;
  std::uint8_t bootDrive = 0;
  std::uint8_t copiesDisk = boot::kFirstHardDisk;
  bool extensions = true;
  bool sizeKnown = true;
  bool clones = false;
  std::uint16_t bytesPerSector = disk::kSectorSize;
  std::uint64_t diskSectors = 0;
  std::string keys;
  char lastKey = 'y';
  std::vector<std::pair<std::uint32_t, disk::Sector>> writes;
  std::set<std::uint8_t> writtenDisks;
  std::set<std::uint8_t> readPastLbaZero;
  int questions = 0;   // "(Y/N)" shown
  int freshYeses = 0;  // of them, answered by a 'y' after a quiet keyboard

  // The kernel writes a character at a time: the screen's tail tells.
  void Write(const char* text, boot::Tone /*tone*/) override {
    constexpr std::size_t kTail = 64;
    tail = (tail + text).substr(tail.size() + 1 > kTail ? 1 : 0);
    if (tail.ends_with("held down")) {
      --questions;  // the question comes again below the warning, unanswered
    }
    if (tail.ends_with("(Y/N)")) {
      ++questions;
      questionShownAt = now;
    }
  }
  void WrapScreenLine() override {}
  bool TakeKey(char& key) override {
    const std::uint8_t next = keys.empty() ? static_cast<std::uint8_t>(lastKey) : keys.front();
    const std::uint32_t arrives = lastArrival + ((next & kRepeatBit) != 0 ? 1 : kPause);
    if (now < arrives) {
      return false;
    }
    if (!keys.empty()) {
      keys.erase(0, 1);
    }
    key = static_cast<char>(next & ~kRepeatBit);
    const bool fresh = !anyArrival || arrives - lastArrival >= kQuietTicks;
    if (fresh && (key == 'y' || key == 'Y') && arrives > questionShownAt &&
        freshYeses < questions) {
      ++freshYeses;
    }
    anyArrival = true;
    lastArrival = arrives;
    return true;
  }
  std::uint32_t Ticks() override { return now; }
  void Idle() override { ++now; }
  std::uint8_t BootDrive() override { return bootDrive; }
  bool ReadFloppySector(int sector, boot::SectorBuffer out) override {
    return sector != failingFloppySector && Read(floppy, sector, out);
  }
  int CountHardDisks() override { return hardDisks; }
  bool HasDiskExtensions(std::uint8_t disk) override {
    FUZZ_CHECK(disk != bootDrive);
    return extensions;
  }
  bool ReadDiskGeometry(std::uint8_t disk, boot::DiskGeometry& geometry) override {
    FUZZ_CHECK(disk != bootDrive);
    geometry.sectors = diskSectors;
    geometry.bytesPerSector = disk == copiesDisk ? bytesPerSector : 0;
    return sizeKnown;
  }
  bool ReadDiskSector(std::uint8_t disk, std::uint32_t lba, boot::SectorBuffer out) override {
    CheckTransfer(disk);
    if (lba != 0) {
      readPastLbaZero.insert(disk);
    }
    return !Fails(unreadable, disk, lba) && Read(disks[disk], lba, out);
  }
  bool WriteDiskSector(std::uint8_t disk, std::uint32_t lba,
                       boot::ConstSectorBuffer data) override {
    CheckTransfer(disk);
    FUZZ_CHECK(questions > 0 && freshYeses == questions);
    writtenDisks.insert(disk);
    disk::Sector sector{};
    std::ranges::copy(data, sector.begin());
    writes.emplace_back(lba, sector);
    if (Fails(refusing, disk, lba)) {
      return false;
    }
    if (!Fails(losing, disk, lba)) {
      disks[disk][lba] = sector;
    }
    return true;
  }
  const char* DiskName(std::uint8_t /*disk*/) override { return nullptr; }

  // Whether the kernel can read LBA 0 of disk and use what it finds there:
  // the BIOS offers extended access, the size and 512-byte sectors.
  [[nodiscard]] bool Readable(std::uint8_t disk) const {
    return extensions && sizeKnown && (disk != copiesDisk || bytesPerSector == disk::kSectorSize) &&
           !Fails(unreadable, disk, 0);
  }

  // The BIOS hard disks other than the boot drive, in BIOS order.
  [[nodiscard]] std::vector<std::uint8_t> Candidates() const {
    std::vector<std::uint8_t> candidates;
    for (int number = 0; number < hardDisks; ++number) {
      const auto disk = static_cast<std::uint8_t>(boot::kFirstHardDisk + number);
      if (disk != bootDrive) {
        candidates.push_back(disk);
      }
    }
    return candidates;
  }

 private:
  // The BIOS would fill more than the kernel's 512-byte buffer.
  void CheckTransfer(std::uint8_t disk) const {
    FUZZ_CHECK(disk != bootDrive && sizeKnown && extensions &&
               (disk != copiesDisk || bytesPerSector == disk::kSectorSize));
  }

  [[nodiscard]] bool Fails(const std::set<std::uint32_t>& lbas, std::uint8_t disk,
                           std::uint32_t lba) const {
    return disk == copiesDisk && lbas.contains(lba);
  }

  std::string tail;
  std::uint32_t now = 0;
  std::uint32_t lastArrival = 0;
  bool anyArrival = false;
  std::uint32_t questionShownAt = 0;

  template <typename Key>
  static bool Read(const std::map<Key, disk::Sector>& sectors, Key at, boot::SectorBuffer out) {
    const auto found = sectors.find(at);
    std::ranges::copy(found == sectors.end() ? disk::Sector{} : found->second, out.begin());
    return true;
  }
};

class KernelCase {
 public:
  explicit KernelCase(FuzzInput& input) {
    const std::uint8_t options = input.Byte();
    constexpr int kDiskCounts[] = {1, 0, 2, -1};
    machine.hardDisks = kDiskCounts[options & 3U];
    machine.extensions = (options & 4U) == 0;
    machine.sizeKnown = (options & 8U) == 0;
    machine.lastKey = (options & 16U) == 0 ? 'y' : 'n';
    machine.clones = (options & 32U) != 0;
    machine.bytesPerSector = (options & 64U) == 0 ? disk::kSectorSize : 4096;
    if ((options & 128U) != 0) {
      machine.bootDrive = boot::kFirstHardDisk;
      machine.copiesDisk = boot::kFirstHardDisk + 1;
    }
    machine.diskSectors = input.Long();
    machine.failingFloppySector = static_cast<int>(input.Byte()) - 1;
    const auto keys = input.Bytes(input.Byte() % kMaxKeys);
    machine.keys.assign(keys.begin(), keys.end());
    const auto control = input.Bytes(disk::kSectorSize);
    controlBytes.assign(control.begin(), control.end());
    std::ranges::copy(control, machine.floppy[kControlSector].begin());
    lbas = ListedLbas();
    for (std::size_t copy = 0; !input.Empty() && copy < boot::kMaxCopies; ++copy) {
      const disk::Sector sector = SectorFrom(input);
      machine.floppy[kFirstCopySector + static_cast<int>(copy)] = sector;
      copies.insert(copies.end(), sector.begin(), sector.end());
      PutDiskSector(copy, sector, input.Byte());
    }
    const Sectors& source = machine.disks[machine.copiesDisk];
    for (const std::uint8_t other : machine.Candidates()) {
      if (other != machine.copiesDisk && machine.clones && source.contains(0)) {
        machine.disks[other][0] = source.at(0);
      }
    }
  }

  void RunAndCheck() {
    CheckDecisions();
    const std::optional<std::uint8_t> chosen = DiskToRestore();
    const Sectors before = chosen ? machine.disks[*chosen] : Sectors{};
    const bool onCopiesDisk = chosen == machine.copiesDisk;
    const auto memory = std::make_unique<boot::RescueMemory>();
    const boot::Outcome outcome = boot::RunRescue(machine, *memory);
    // Every disk but the one to restore is read at LBA 0 only.
    FUZZ_CHECK(machine.readPastLbaZero.empty() ||
               (chosen && machine.readPastLbaZero == std::set<std::uint8_t>{*chosen}));
    if (machine.writes.empty()) {
      return;
    }
    FUZZ_CHECK(outcome == boot::Outcome::Restored || outcome == boot::Outcome::RestoreFailed);
    FUZZ_CHECK(machine.failingFloppySector != kControlSector);
    FUZZ_CHECK(chosen && machine.writtenDisks == std::set<std::uint8_t>{*chosen});
    FUZZ_CHECK(FormsTheChain());
    std::set<std::uint32_t> written;
    for (const auto& [lba, data] : machine.writes) {
      const auto listed = std::ranges::find(lbas, lba);
      FUZZ_CHECK(listed != lbas.end() && written.insert(lba).second);
      FUZZ_CHECK(data == CopyAt(static_cast<std::size_t>(listed - lbas.begin())));
      FUZZ_CHECK((onCopiesDisk && machine.unreadable.contains(lba)) || !before.contains(lba) ||
                 before.at(lba) != data);
    }
  }

 private:
  static std::uint32_t DiskSignature(const disk::Sector& sector) {
    return std::uint32_t{sector[440]} | std::uint32_t{sector[441]} << 8U |
           std::uint32_t{sector[442]} << 16U | std::uint32_t{sector[443]} << 24U;
  }

  // The disk a restore may write: the one candidate, or among several the one
  // whose LBA 0, read as the kernel can read it, carries the MBR copy's
  // signature. Nothing where no disk or several would do.
  [[nodiscard]] std::optional<std::uint8_t> DiskToRestore() const {
    const std::vector<std::uint8_t> candidates = machine.Candidates();
    if (candidates.size() == 1) {
      return candidates.front();
    }
    const std::uint32_t signature = DiskSignature(CopyAt(0));
    std::vector<std::uint8_t> carriers;
    for (const std::uint8_t disk : candidates) {
      const auto found = machine.disks.find(disk);
      const bool carries = found != machine.disks.end() && found->second.contains(0) &&
                           DiskSignature(found->second.at(0)) == signature;
      if (signature != 0 && carries && machine.Readable(disk)) {
        carriers.push_back(disk);
      }
    }
    return carriers.size() == 1 ? std::optional(carriers.front()) : std::nullopt;
  }

  // The LBAs that floppy sector 3 lists, when the kernel may accept it: the
  // MBR's first.
  [[nodiscard]] std::vector<std::uint32_t> ListedLbas() const {
    const auto records = ControlRecords(machine.floppy.at(kControlSector));
    if (!records || records->size() < 2 || (*records)[1] != 0) {
      return {};
    }
    return {records->begin() + 1, records->end()};
  }

  [[nodiscard]] disk::Sector CopyAt(std::size_t copy) const {
    disk::Sector sector{};
    if ((copy + 1) * disk::kSectorSize <= copies.size()) {
      std::copy_n(copies.begin() + static_cast<std::ptrdiff_t>(copy * disk::kSectorSize),
                  disk::kSectorSize, sector.begin());
    }
    return sector;
  }

  void PutDiskSector(std::size_t copy, disk::Sector sector, std::uint8_t state) {
    if (copy >= lbas.size()) {
      return;
    }
    const std::uint32_t lba = lbas[copy];
    Sectors& disk = machine.disks[machine.copiesDisk];
    switch (state & 3U) {
      case kZeros:
        sector.fill(0);
        break;
      case kChanged:
        sector[0] ^= 0xFF;
        break;
      case kUnreadable:
        machine.unreadable.insert(lba);
        break;
      default:
        break;
    }
    disk[lba] = sector;
    if ((state & 4U) != 0) {
      machine.refusing.insert(lba);
    }
    if ((state & 8U) != 0) {
      machine.losing.insert(lba);
    }
  }

  // Whether the copies, as the control buffer lists them, are the start of the
  // chain that they themselves describe, every LBA once.
  [[nodiscard]] bool FormsTheChain() const {
    if (lbas.empty() || HasRepeats(lbas) || copies.size() < lbas.size() * disk::kSectorSize) {
      return false;
    }
    const auto walk = WalkChain(
        [&](std::uint32_t lba) -> std::optional<disk::Sector> {
          const auto listed = std::ranges::find(lbas, lba);
          return listed == lbas.end() ? disk::Sector{}
                                      : CopyAt(static_cast<std::size_t>(listed - lbas.begin()));
        },
        lbas.size());
    return walk == lbas;
  }

  // The kernel's decisions on exactly the bytes there are: the control buffer
  // as this check reads it, and a chain accepted only where it holds.
  void CheckDecisions() const {
    boot::RescueIndex index;
    const bool valid =
        boot::ReadControlBuffer(controlBytes, boot::kMaxCopies, index) == boot::ControlCheck::Valid;
    FUZZ_CHECK(valid == (controlBytes.size() == disk::kSectorSize && !lbas.empty() &&
                         lbas.size() <= static_cast<std::size_t>(boot::kMaxCopies)));
    if (!valid) {
      return;
    }
    FUZZ_CHECK(std::equal(lbas.begin(), lbas.end(), index.lbas.begin(),
                          index.lbas.begin() + index.copyCount));
    const std::vector<std::uint8_t> exactCopies = copies;
    const boot::ChainProblem problem = boot::CheckChain(index, exactCopies);
    FUZZ_CHECK(problem.check != boot::ChainCheck::Valid || FormsTheChain());
  }

  FuzzMachine machine;
  std::vector<std::uint8_t> controlBytes;
  std::vector<std::uint32_t> lbas;
  std::vector<std::uint8_t> copies;
};

}  // namespace
}  // namespace corvane::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  corvane::fuzzing::FuzzInput input(data, size);
  corvane::fuzzing::KernelCase(input).RunAndCheck();
  return 0;
}
