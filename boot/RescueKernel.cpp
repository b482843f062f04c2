#include "boot/RescueKernel.h"

#include <cstddef>

namespace corvane::boot {
namespace {

constexpr unsigned kSectorsPerMebibyteShift = 11;

// One line of text, built without a runtime library.
class Line {
 public:
  Line() { text[0] = '\0'; }

  Line& operator<<(const char* more) {
    while (*more != '\0' && length + 1 < text.size()) {
      text[length++] = *more++;
    }
    text[length] = '\0';
    return *this;
  }

  Line& operator<<(std::uint64_t value) { return Number(value, 0); }

  // The value right-aligned in width characters.
  Line& Number(std::uint64_t value, std::size_t width) {
    std::array<char, 21> digits{};
    std::size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + DivideByTen(value));
    } while (value != 0);
    return Digits(digits, count, width);
  }

  // The value in hexadecimal, upper case, in exactly count digits.
  Line& Hex(std::uint32_t value, std::size_t count) {
    std::array<char, 21> digits{};
    for (std::size_t at = 0; at < count && at < digits.size(); ++at) {
      digits[at] = "0123456789ABCDEF"[value & 0xFU];
      value >>= 4U;
    }
    return Digits(digits, count, 0);
  }

  // Spaces up to column.
  Line& PadTo(std::size_t column) {
    while (length < column) {
      *this << " ";
    }
    return *this;
  }

  [[nodiscard]] const char* Text() const { return text.data(); }

 private:
  // Divides value by ten in 32-bit steps (a 64-bit division would need a
  // library the kernel has not got) and returns the remainder.
  static std::uint32_t DivideByTen(std::uint64_t& value) {
    const auto high = static_cast<std::uint32_t>(value >> 32U);
    const auto low = static_cast<std::uint32_t>(value);
    const std::uint32_t middle = (high % 10) << 16U | low >> 16U;
    const std::uint32_t bottom = (middle % 10) << 16U | (low & 0xFFFFU);
    value = std::uint64_t{high / 10} << 32U | (middle / 10) << 16U | bottom / 10;
    return bottom % 10;
  }

  // digits[count - 1] first, right-aligned in width characters.
  Line& Digits(const std::array<char, 21>& digits, std::size_t count, std::size_t width) {
    for (std::size_t pad = count; pad < width; ++pad) {
      *this << " ";
    }
    std::array<char, 2> digit{};
    while (count > 0) {
      digit[0] = digits[--count];
      *this << digit.data();
    }
    return *this;
  }

  // Only the characters up to length and the '\0' after them are ever read.
  std::array<char, 128> text;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  std::size_t length = 0;
};

// The 80 x 25 screen as the kernel fills it: lines wrap between words before
// the last column, and where more lines would follow since the last key than
// the screen holds, the kernel waits for a key first, so nothing scrolls away
// unread. Every key counts only when pressed after the screen asked for it.
class Screen {
 public:
  explicit Screen(Machine& machine) : machine(machine) {}

  void Write(const char* text, Tone tone) {
    for (const char* at = text; *at != '\0'; ++at) {
      if (*at == '\n') {
        machine.Write("\n", tone);
        EndRow();
      } else if (*at == ' ' && column > 0 && column + 1 + WordLength(at + 1) > kWidth) {
        machine.WrapScreenLine();
        EndRow();
      } else {
        if (column == 0 && rows >= kRows - 1 && !asking) {
          Page();
        }
        const std::array<char, 2> character{*at, '\0'};
        machine.Write(character.data(), tone);
        if (++column == kWidth) {  // a word as long as a line: cut
          machine.WrapScreenLine();
          EndRow();
        }
      }
    }
  }

  // Shows question, on the screen's last free row if need be, and waits for
  // the answer: keys pressed before it was shown are dropped first.
  char Ask(const char* question, Tone tone) {
    machine.DiscardKeys();
    asking = true;
    Write(question, tone);
    asking = false;
    return WaitForKey();
  }

  char WaitForKey() {
    rows = 0;
    return machine.WaitForKey();
  }

 private:
  static constexpr int kWidth = 79;
  static constexpr int kRows = 25;

  static int WordLength(const char* text) {
    int length = 0;
    while (text[length] != '\0' && text[length] != ' ' && text[length] != '\n') {
      ++length;
    }
    return length;
  }

  void EndRow() {
    column = 0;
    ++rows;
  }

  void Page() {
    Ask("Press any key for more.", Tone::Plain);
    Write("\n", Tone::Plain);
  }

  Machine& machine;
  int column = 0;
  int rows = 0;  // rows ended since the last key
  bool asking = false;
};

const char* Plural(std::uint32_t count, const char* one, const char* many) {
  return count == 1 ? one : many;
}

void Say(Screen& screen, const char* text, Tone tone = Tone::Plain) {
  screen.Write(text, tone);
  screen.Write("\n", tone);
}

void Say(Screen& screen, const Line& line, Tone tone = Tone::Plain) {
  Say(screen, line.Text(), tone);
}

int FloppySectorOf(int copy) { return rescue::kMasterBootRecordFloppySector + copy; }

std::uint32_t LbaOf(const RescueIndex& index, int copy) {
  return index.lbas[static_cast<std::size_t>(copy)];
}

// "MBR" or "EBR n".
Line& AppendKind(Line& line, int copy) {
  if (copy == 0) {
    return line << "MBR";
  }
  return line << "EBR " << static_cast<std::uint64_t>(copy);
}

Line& AppendDisk(Line& line, std::uint8_t disk) { return line.Hex(disk, 2) << "h"; }

std::span<std::uint8_t, disk::kSectorSize> WritableCopy(RescueMemory& memory, int copy) {
  return std::span<std::uint8_t>(memory.copies)
      .subspan(static_cast<std::size_t>(copy) * disk::kSectorSize)
      .first<disk::kSectorSize>();
}

Outcome FloppyReadError(Screen& screen, int sector) {
  Say(screen, Line() << "Floppy read error at sector " << static_cast<std::uint64_t>(sector) << ".",
      Tone::Strong);
  return Outcome::FloppyReadError;
}

void DescribeChainProblem(Screen& screen, const RescueIndex& index, ChainProblem problem) {
  Line line;
  line << "The copy of ";
  AppendKind(line, problem.copy) << " (floppy sector "
                                 << static_cast<std::uint64_t>(FloppySectorOf(problem.copy))
                                 << ") ";
  switch (problem.check) {
    case ChainCheck::NoBootSignature:
      line << "does not end in 55 AA.";
      break;
    case ChainCheck::RepeatedLba:
      line << "repeats LBA " << std::uint64_t{LbaOf(index, problem.copy)} << ".";
      break;
    case ChainCheck::NoExtendedPartition:
      line << "has no extended partition to belong to.";
      break;
    case ChainCheck::BrokenLink:
      line << "is not where the chain leads.";
      break;
    case ChainCheck::MissingCopies:
    case ChainCheck::Valid:
      line << "is missing.";
      break;
  }
  Say(screen, line, Tone::Strong);
  Say(screen, "This rescue floppy is damaged: nothing will be written.", Tone::Strong);
}

// Everything the kernel works on: the PC, its memory, the floppy's index and
// copies, and the one hard disk it has chosen.
struct Rescue {
  Machine& machine;
  Screen& screen;
  RescueMemory& memory;
  RescueIndex index;
  std::uint8_t disk = kFirstHardDisk;
  DiskGeometry geometry;

  [[nodiscard]] std::span<const std::uint8_t> Copies() const { return memory.copies; }
  [[nodiscard]] SectorView Copy(int copy) const { return CopyAt(Copies(), copy); }
};

bool ReadFloppySector(Rescue& rescue, int sector, SectorBuffer out, Outcome& stop) {
  if (rescue.machine.ReadFloppySector(sector, out)) {
    return true;
  }
  stop = FloppyReadError(rescue.screen, sector);
  return false;
}

// Reads the floppy's boot sector (for the room its BPB leaves), control
// buffer and copies into memory.
bool ReadFloppy(Rescue& rescue, Outcome& stop) {
  RescueMemory& memory = rescue.memory;
  if (!ReadFloppySector(rescue, rescue::kBootSectorFloppySector, memory.sector, stop)) {
    return false;
  }
  const int room = CopyRoom(memory.sector);
  if (!ReadFloppySector(rescue, rescue::kControlBufferFloppySector, memory.sector, stop)) {
    return false;
  }
  if (ReadControlBuffer(memory.sector, room, rescue.index) != ControlCheck::Valid) {
    Say(rescue.screen, "This floppy holds no rescue data.", Tone::Strong);
    stop = Outcome::NoRescueData;
    return false;
  }
  for (int copy = 0; copy < rescue.index.copyCount; ++copy) {
    if (!ReadFloppySector(rescue, FloppySectorOf(copy), WritableCopy(memory, copy), stop)) {
      return false;
    }
  }
  return true;
}

// 0 counts as 512, as some BIOSes leave the field unset.
bool HasSectorsOf512(const DiskGeometry& geometry) {
  return geometry.bytesPerSector == 0 || geometry.bytesPerSector == disk::kSectorSize;
}

// Whether disk can be read sector by sector into the kernel's 512-byte buffers.
bool IsReadable(Machine& machine, std::uint8_t disk) {
  DiskGeometry geometry;
  return machine.HasDiskExtensions(disk) && machine.ReadDiskGeometry(disk, geometry) &&
         HasSectorsOf512(geometry);
}

// With several hard disks, the one whose LBA 0 carries the MBR copy's
// signature. Every disk is read at LBA 0 only.
bool FindDiskBySignature(Rescue& rescue, int disks) {
  const std::uint32_t signature = DiskSignature(rescue.Copy(0));
  if (signature == 0) {
    return false;
  }
  int carriers = 0;
  constexpr int kMaxHardDisks = 0x80;
  for (int number = 0; number < disks && number < kMaxHardDisks; ++number) {
    const auto disk = static_cast<std::uint8_t>(kFirstHardDisk + number);
    if (IsReadable(rescue.machine, disk) &&
        rescue.machine.ReadDiskSector(disk, 0, rescue.memory.sector) &&
        DiskSignature(rescue.memory.sector) == signature) {
      ++carriers;
      rescue.disk = disk;
    }
  }
  if (carriers != 1) {
    return false;
  }
  Line line;
  line << "Hard disk ";
  AppendDisk(line, rescue.disk) << " carries this floppy's disk signature ";
  Say(rescue.screen, line.Hex(signature, 8) << ".");
  return true;
}

// The hard disk to restore: the only one, or the one carrying the floppy's
// disk signature. False, with the reason in stop, when there is none.
bool ChooseHardDisk(Rescue& rescue, Outcome& stop) {
  const int disks = rescue.machine.CountHardDisks();
  if (disks < 1) {
    Say(rescue.screen, "No hard disk found.", Tone::Strong);
    stop = Outcome::NoHardDisk;
    return false;
  }
  if (disks > 1 && !FindDiskBySignature(rescue, disks)) {
    Say(rescue.screen,
        "More than one hard disk is attached. Remove all hard disks other than the damaged one "
        "and restart.",
        Tone::Strong);
    stop = Outcome::SeveralHardDisks;
    return false;
  }
  return true;
}

// The chosen disk must be reachable by LBA in 512-byte sectors and hold
// every copy's LBA. False, with the reason in stop, when it does not.
bool CheckHardDisk(Rescue& rescue, Outcome& stop) {
  Machine& machine = rescue.machine;
  DiskGeometry& geometry = rescue.geometry;
  if (!machine.HasDiskExtensions(rescue.disk) || !machine.ReadDiskGeometry(rescue.disk, geometry)) {
    Say(rescue.screen,
        "The BIOS offers no extended access (int 13h functions 41h to 48h) to the hard disk.",
        Tone::Strong);
    stop = Outcome::NoDiskExtensions;
    return false;
  }
  if (!HasSectorsOf512(geometry)) {
    Say(rescue.screen,
        Line() << "The BIOS reports " << std::uint64_t{geometry.bytesPerSector}
               << "-byte sectors for this disk; a rescue floppy holds 512-byte sectors. Nothing "
                  "was written.",
        Tone::Strong);
    stop = Outcome::UnsupportedSectorSize;
    return false;
  }
  std::uint32_t highest = 0;
  for (int copy = 0; copy < rescue.index.copyCount; ++copy) {
    highest = LbaOf(rescue.index, copy) > highest ? LbaOf(rescue.index, copy) : highest;
  }
  if (geometry.sectors <= highest) {
    Say(rescue.screen,
        Line() << "The hard disk has " << geometry.sectors << " sectors, too few for LBA "
               << std::uint64_t{highest} << " of this floppy.",
        Tone::Strong);
    stop = Outcome::DiskTooSmall;
    return false;
  }
  Line line;
  line << "Hard disk ";
  AppendDisk(line, rescue.disk) << ": " << (geometry.sectors >> kSectorsPerMebibyteShift)
                                << " MiB.";
  Say(rescue.screen, line);
  return true;
}

// Whether the copies may belong to another disk: the disk's LBA 0 carries
// another signature, or the copies' partitions end beyond the disk. Says why.
bool DoubtsTheDisk(Rescue& rescue) {
  bool doubt = false;
  const std::uint32_t copySignature = DiskSignature(rescue.Copy(0));
  if (rescue.machine.ReadDiskSector(rescue.disk, 0, rescue.memory.sector) &&
      partition::HasBootSignature(rescue.memory.sector)) {
    const std::uint32_t diskSignature = DiskSignature(rescue.memory.sector);
    if (copySignature != 0 && diskSignature != 0 && copySignature != diskSignature) {
      Line line;
      line << "This floppy was made for the disk with signature ";
      line.Hex(copySignature, 8) << "; this disk has ";
      Say(rescue.screen, line.Hex(diskSignature, 8) << ".", Tone::Strong);
      doubt = true;
    }
  }
  const std::uint64_t end = PartitionsEnd(rescue.index, rescue.Copies());
  if (end > rescue.geometry.sectors) {
    Say(rescue.screen,
        Line() << "The partitions on this floppy end at sector " << end << "; the BIOS reports "
               << rescue.geometry.sectors << " sectors for this disk.",
        Tone::Strong);
    doubt = true;
  }
  if (doubt) {
    Say(rescue.screen, "This floppy may belong to another disk.", Tone::Strong);
  }
  return doubt;
}

// One side of a differing sector: its used entries as type, first sector and size.
void SayEntries(Rescue& rescue, const char* side, SectorView record, std::uint32_t lba) {
  const std::uint32_t base = ExtendedBase(rescue.Copies());
  Line line;
  line << "    " << side << ":";
  const char* separator = " ";
  for (int entry = 0; entry < partition::kPartitionEntryCount; ++entry) {
    const std::uint8_t type = partition::EntryType(record, entry);
    if (type != 0) {
      const EntryPlace place = PlaceOf(record, entry, lba, base);
      line << separator;
      line.Hex(type, 2) << "h " << std::uint64_t{place.first} << " "
                        << ((place.end - place.first) >> kSectorsPerMebibyteShift) << " MiB";
      separator = ", ";
    }
  }
  Say(rescue.screen, line);
}

// Compares each copy with the disk, shows the result and, where the disk
// holds another valid table, both tables. Plans the differing sectors.
void Compare(Rescue& rescue, RestorePlan& plan) {
  Say(rescue.screen, "         LBA  copy      on the hard disk");
  const std::uint32_t base = ExtendedBase(rescue.Copies());
  bool anotherTable = false;
  for (int copy = 0; copy < rescue.index.copyCount; ++copy) {
    const std::uint32_t lba = LbaOf(rescue.index, copy);
    const bool readable = rescue.machine.ReadDiskSector(rescue.disk, lba, rescue.memory.sector);
    const bool differs = PlanCopy(plan, copy, rescue.Copy(copy),
                                  readable ? std::span<const std::uint8_t>(rescue.memory.sector)
                                           : std::span<const std::uint8_t>());
    Line line;
    line.Number(lba, 12) << "  ";
    AppendKind(line, copy).PadTo(24) << (readable ? (differs ? "differs" : "same") : "unreadable");
    Say(rescue.screen, line, differs ? Tone::Strong : Tone::Plain);
    if (readable && differs &&
        IsValidTable(rescue.memory.sector, lba, base, rescue.geometry.sectors)) {
      SayEntries(rescue, "disk", rescue.memory.sector, lba);
      SayEntries(rescue, "copy", rescue.Copy(copy), lba);
      anotherTable = true;
    }
  }
  if (anotherTable) {
    Say(rescue.screen,
        "The disk holds another valid partition table here: it may have been repartitioned "
        "after this floppy was made.",
        Tone::Strong);
  }
}

void SummarizePartitions(Rescue& rescue) {
  const PartitionSummary summary = SummarizePartitions(rescue.index, rescue.Copies());
  const auto primaries = static_cast<std::uint32_t>(summary.primaries);
  const auto logicalDrives = static_cast<std::uint32_t>(summary.logicalDrives);
  Line line;
  line << "Partitions: " << std::uint64_t{primaries} << Plural(primaries, " primary", " primaries");
  if (summary.extended) {
    line << ", extended at LBA " << std::uint64_t{summary.extendedBase} << " with "
         << std::uint64_t{logicalDrives}
         << Plural(logicalDrives, " logical drive.", " logical drives.");
  } else {
    line << ", no extended partition.";
  }
  Say(rescue.screen, line);
}

// Y or N to question, whatever else is typed first.
bool AnswerIsYes(Screen& screen, const char* question) {
  for (char key = screen.Ask(question, Tone::Strong);; key = screen.WaitForKey()) {
    if (key == 'y' || key == 'Y') {
      Say(screen, "Y", Tone::Strong);
      return true;
    }
    if (key == 'n' || key == 'N') {
      Say(screen, "N", Tone::Strong);
      return false;
    }
  }
}

Outcome Restore(Rescue& rescue, const RestorePlan& plan) {
  for (int planned = 0; planned < plan.count; ++planned) {
    const int copy = plan.copies[static_cast<std::size_t>(planned)];
    const std::uint32_t lba = LbaOf(rescue.index, copy);
    const char* failure = nullptr;
    if (!rescue.machine.WriteDiskSector(rescue.disk, lba, rescue.Copy(copy))) {
      failure = ": the disk refused the write.";
    } else if (!rescue.machine.ReadDiskSector(rescue.disk, lba, rescue.memory.sector) ||
               !SameSector(rescue.Copy(copy), rescue.memory.sector)) {
      failure = ": the sector does not read back as written.";
    }
    if (failure != nullptr) {
      Say(rescue.screen, Line() << "Restoring LBA " << std::uint64_t{lba} << " failed" << failure,
          Tone::Strong);
      Say(rescue.screen, Line() << static_cast<std::uint64_t>(planned) << " of "
                                << static_cast<std::uint64_t>(plan.count)
                                << " sectors were restored before.");
      return Outcome::RestoreFailed;
    }
  }
  Say(rescue.screen, Line() << "Restored " << static_cast<std::uint64_t>(plan.count) << " sectors.",
      Tone::Strong);
  return Outcome::Restored;
}

Outcome RunSteps(Rescue& rescue) {
  Screen& screen = rescue.screen;
  Say(screen, "Corvane rescue kernel: restores a hard disk's partition system", Tone::Heading);
  Outcome stop = Outcome::NoRescueData;
  if (!ReadFloppy(rescue, stop)) {
    return stop;
  }
  const auto ebrs = static_cast<std::uint32_t>(rescue.index.copyCount - 1);
  Say(screen, Line() << "Rescue data of Windows disk " << std::uint64_t{rescue.index.driveNumber}
                     << ": its MBR and " << std::uint64_t{ebrs} << Plural(ebrs, " EBR.", " EBRs."));
  const ChainProblem problem = CheckChain(rescue.index, rescue.Copies());
  if (problem.check != ChainCheck::Valid) {
    DescribeChainProblem(screen, rescue.index, problem);
    return Outcome::DamagedCopies;
  }
  if (!ChooseHardDisk(rescue, stop) || !CheckHardDisk(rescue, stop)) {
    return stop;
  }
  const bool doubt = DoubtsTheDisk(rescue);
  RestorePlan plan;
  Compare(rescue, plan);
  SummarizePartitions(rescue);
  if (plan.count == 0) {
    Say(screen, "The disk's partition system matches this rescue floppy. Nothing to restore.",
        Tone::Strong);
    return Outcome::NothingToRestore;
  }
  const Line question = Line() << "Restore " << static_cast<std::uint64_t>(plan.count)
                               << " sectors to the hard disk? (Y/N) ";
  if (!AnswerIsYes(screen, question.Text()) ||
      (doubt && !AnswerIsYes(screen, "Restore to this disk anyway? (Y/N) "))) {
    Say(screen, "Nothing was written.");
    return Outcome::Declined;
  }
  return Restore(rescue, plan);
}

}  // namespace

Outcome RunRescue(Machine& machine, RescueMemory& memory) {
  Screen screen(machine);
  Rescue rescue{machine, screen, memory, {}, kFirstHardDisk, {}};
  const Outcome outcome = RunSteps(rescue);
  // Where a restart with the floppy can go further, it stays in.
  const bool retry = outcome == Outcome::FloppyReadError || outcome == Outcome::NoHardDisk ||
                     outcome == Outcome::SeveralHardDisks;
  screen.Ask(
      retry ? "Press any key to restart." : "Remove the floppy and press any key to restart.",
      Tone::Plain);
  Say(screen, "");
  return outcome;
}

}  // namespace corvane::boot
