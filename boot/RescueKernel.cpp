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

// The 80 x 25 screen and the keyboard as the kernel uses them. Lines wrap
// between words before the last column. Text comes in blocks (a sentence, or
// a compared sector with its tables) that are never split: where a block
// would not fit below what was shown since the last key, the kernel waits for
// a key first, so nothing scrolls away unread. A key counts only when pressed
// after the screen asked for it, and only after a quiet keyboard, so a key
// that is held down or stuck, whose repeats refill the buffer at once,
// answers nothing.
class Screen {
 public:
  explicit Screen(Machine& machine) : machine(machine) {}

  // Shows text as one block and ends its line.
  void Say(const char* text, Tone tone) {
    KeepTogether(RowsOf(text));
    Write(text, tone);
    Write("\n", tone);
  }

  // Waits for a key first where count more rows would not fit on this page
  // above its last row, which is kept for a question.
  void KeepTogether(int count) {
    if (rows > 0 && rows + count > kRows - 1) {
      Page();
    }
  }

  // The rows that text and the line end after it take from a row's start.
  static int RowsOf(const char* text) {
    int column = 0;
    return LayOut(
               text, column, [](char /*character*/) {}, [](bool /*wrapped*/) {}) +
           1;
  }

  // Shows question, on the page's last row if need be, and waits for the
  // answer: keys pressed before it was shown are dropped first.
  char Ask(const char* question, Tone tone) {
    if (rows > 0 && rows + RowsOf(question) > kRows) {
      Page();
    }
    return Prompt(question, tone);
  }

  // The next key that answers question, already shown.
  char WaitForKey(const char* question, Tone tone) {
    bool streaming = false;
    bool warned = false;
    std::uint32_t streamStart = 0;
    for (;;) {
      char key = 0;
      if (!machine.TakeKey(key)) {
        machine.Idle();
        continue;
      }
      const std::uint32_t now = machine.Ticks();
      const bool fresh = !heardKey || now - lastKey >= kQuietTicks;
      if (!fresh && !streaming) {
        streaming = true;
        streamStart = lastKey;
      }
      Heard(now);
      if (fresh) {
        rows = 0;
        return key;
      }
      if (!warned && now - streamStart >= kHeldTicks) {
        warned = true;
        Write("\nA key seems to be held down. Release all keys.\n", Tone::Strong);
        Write(question, tone);
      }
    }
  }

  // The row, counted from the kernel's start, that the next text goes to.
  [[nodiscard]] int Row() const { return row; }

  // Whether the screen still shows what was shown from row on.
  [[nodiscard]] bool StillShows(int from) const { return row - from < kRows; }

 private:
  static constexpr int kWidth = 79;
  static constexpr int kRows = 25;
  // Eleven ticks of the 18.2 a second are more than the usual half second
  // before a held key repeats, however the two readings fall between ticks.
  static constexpr std::uint32_t kQuietTicks = 11;
  static constexpr std::uint32_t kHeldTicks = 91;  // five seconds
  static constexpr int kKeyboardBufferSize = 16;

  static int WordLength(const char* text) {
    int length = 0;
    while (text[length] != '\0' && text[length] != ' ' && text[length] != '\n') {
      ++length;
    }
    return length;
  }

  // Lays text out from column as the screen shows it: put(character) for
  // each character shown, endRow(wrapped) where a row ends, by a line end or
  // a wrap. Returns the rows ended.
  template <typename Put, typename EndRow>
  static int LayOut(const char* text, int& column, Put put, EndRow endRow) {
    int ended = 0;
    const auto end = [&](bool wrapped) {
      endRow(wrapped);
      column = 0;
      ++ended;
    };
    for (const char* at = text; *at != '\0'; ++at) {
      if (*at == '\n') {
        end(false);
      } else if (*at == ' ' && column > 0 && column + 1 + WordLength(at + 1) > kWidth) {
        end(true);
      } else {
        put(*at);
        if (++column == kWidth) {  // a word as long as a line: cut
          end(true);
        }
      }
    }
    return ended;
  }

  void Write(const char* text, Tone tone) {
    const int ended = LayOut(
        text, column,
        [this, tone](char character) {
          const std::array<char, 2> shown{character, '\0'};
          machine.Write(shown.data(), tone);
        },
        [this, tone](bool wrapped) {
          if (wrapped) {
            machine.WrapScreenLine();
          } else {
            machine.Write("\n", tone);
          }
        });
    rows += ended;
    row += ended;
  }

  char Prompt(const char* question, Tone tone) {
    DropWaitingKeys();
    Write(question, tone);
    return WaitForKey(question, tone);
  }

  // Keys found waiting were pressed before the question: they answer
  // nothing, and the keyboard was not quiet.
  void DropWaitingKeys() {
    char key = 0;
    for (int dropped = 0; dropped < kKeyboardBufferSize && machine.TakeKey(key); ++dropped) {
      Heard(machine.Ticks());
    }
  }

  void Heard(std::uint32_t now) {
    heardKey = true;
    lastKey = now;
  }

  void Page() {
    Prompt("Press any key for more.", Tone::Plain);
    Write("\n", Tone::Plain);
  }

  Machine& machine;
  int column = 0;
  int rows = 0;  // rows ended since the last key
  int row = 0;   // rows ended since the kernel started
  bool heardKey = false;
  std::uint32_t lastKey = 0;  // when the last key was taken
};

const char* Plural(std::uint32_t count, const char* one, const char* many) {
  return count == 1 ? one : many;
}

void Say(Screen& screen, const char* text, Tone tone = Tone::Plain) { screen.Say(text, tone); }

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

Line& AppendDisk(Line& line, Machine& machine, std::uint8_t disk) {
  const char* const name = machine.DiskName(disk);
  return name != nullptr ? line << name : line.Hex(disk, 2) << "h";
}

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
    case ChainCheck::LinksOnward:
      line << "links to an EBR that this floppy lacks.";
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
// copies, the drive it booted from and the one hard disk it has chosen.
struct Rescue {
  Machine& machine;
  Screen& screen;
  RescueMemory& memory;
  std::uint8_t bootDrive;
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

// The BIOS hard disks the rescue may choose from: all but the rescue medium
// itself, which is never read as a candidate, compared or written.
class Candidates {
 public:
  Candidates(int disks, std::uint8_t bootDrive) : disks(disks), bootDrive(bootDrive) {}

  [[nodiscard]] bool BootDriveIsAmongThem() const {
    return bootDrive >= kFirstHardDisk && bootDrive - kFirstHardDisk < Count();
  }

  [[nodiscard]] int Others() const { return Count() - (BootDriveIsAmongThem() ? 1 : 0); }

  // Calls visit(disk) for each candidate in BIOS order until it returns false.
  template <typename Visit>
  void Each(Visit visit) const {
    for (int number = 0; number < Count(); ++number) {
      const auto disk = static_cast<std::uint8_t>(kFirstHardDisk + number);
      if (disk != bootDrive && !visit(disk)) {
        return;
      }
    }
  }

 private:
  // No more than the BIOS numbers 80h to FFh name.
  [[nodiscard]] int Count() const {
    constexpr int kMaxHardDisks = 0x80;
    return disks < kMaxHardDisks ? disks : kMaxHardDisks;
  }

  int disks;
  std::uint8_t bootDrive;
};

// With several candidates, the one whose LBA 0 carries the MBR copy's
// signature. Every candidate is read at LBA 0 only.
bool FindDiskBySignature(Rescue& rescue, const Candidates& candidates) {
  const std::uint32_t signature = DiskSignature(rescue.Copy(0));
  if (signature == 0) {
    return false;
  }
  int carriers = 0;
  candidates.Each([&](std::uint8_t disk) {
    if (IsReadable(rescue.machine, disk) &&
        rescue.machine.ReadDiskSector(disk, 0, rescue.memory.sector) &&
        DiskSignature(rescue.memory.sector) == signature) {
      ++carriers;
      rescue.disk = disk;
    }
    return true;
  });
  if (carriers != 1) {
    return false;
  }
  Line line;
  line << "Hard disk ";
  AppendDisk(line, rescue.machine, rescue.disk) << " carries this floppy's disk signature ";
  Say(rescue.screen, line.Hex(signature, 8) << ".");
  return true;
}

// The hard disk to restore: the only candidate, or the one carrying the
// floppy's disk signature. False, with the reason in stop, when there is none.
bool ChooseHardDisk(Rescue& rescue, Outcome& stop) {
  const Candidates candidates(rescue.machine.CountHardDisks(), rescue.bootDrive);
  if (candidates.Others() < 1) {
    Say(rescue.screen,
        candidates.BootDriveIsAmongThem()
            ? "No hard disk was found apart from the rescue disk itself. Nothing was written."
            : "No hard disk found.",
        Tone::Strong);
    stop = Outcome::NoHardDisk;
    return false;
  }
  if (candidates.Others() == 1) {
    candidates.Each([&rescue](std::uint8_t disk) {
      rescue.disk = disk;
      return false;
    });
    return true;
  }
  if (!FindDiskBySignature(rescue, candidates)) {
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
  AppendDisk(line, machine, rescue.disk)
      << ": " << (geometry.sectors >> kSectorsPerMebibyteShift) << " MiB.";
  Say(rescue.screen, line);
  return true;
}

// Why the copies may belong to another disk.
struct Doubts {
  std::uint32_t copySignature = 0;
  std::uint32_t diskSignature = 0;  // 0 unless the disk carries another
  bool gpt = false;                 // the disk holds a GUID partition table
  std::uint64_t partitionsEnd = 0;  // 0 unless the copies' partitions end beyond the disk

  [[nodiscard]] bool Any() const { return diskSignature != 0 || gpt || partitionsEnd != 0; }
};

// What the disk's LBA 0 and size say against the copies.
Doubts FindDoubts(Rescue& rescue) {
  Doubts doubts;
  doubts.copySignature = DiskSignature(rescue.Copy(0));
  if (rescue.machine.ReadDiskSector(rescue.disk, 0, rescue.memory.sector)) {
    const SectorView masterBootRecord = rescue.memory.sector;
    const std::uint32_t diskSignature = DiskSignature(masterBootRecord);
    if (partition::HasBootSignature(masterBootRecord) && doubts.copySignature != 0 &&
        diskSignature != 0 && doubts.copySignature != diskSignature) {
      doubts.diskSignature = diskSignature;
    }
    doubts.gpt = partition::HasGptProtectiveEntry(masterBootRecord) &&
                 !partition::HasGptProtectiveEntry(rescue.Copy(0));
  }
  const std::uint64_t end = PartitionsEnd(rescue.index, rescue.Copies());
  if (end > rescue.geometry.sectors) {
    doubts.partitionsEnd = end;
  }
  return doubts;
}

// The doubts as one block, kept on one page with the rows that follow them.
void SayDoubts(Rescue& rescue, const Doubts& doubts, int rowsAfter) {
  constexpr int kMostLines = 4;
  std::array<Line, kMostLines> lines{};
  int count = 0;
  if (doubts.diskSignature != 0) {
    Line& line = lines[static_cast<std::size_t>(count++)];
    line << "This floppy was made for the disk with signature ";
    line.Hex(doubts.copySignature, 8) << "; this disk has ";
    line.Hex(doubts.diskSignature, 8) << ".";
  }
  if (doubts.gpt) {
    lines[static_cast<std::size_t>(count++)]
        << "This disk holds a GUID partition table (GPT); this floppy holds an MBR partition "
           "table.";
  }
  if (doubts.partitionsEnd != 0) {
    lines[static_cast<std::size_t>(count++)]
        << "The partitions on this floppy end at sector " << doubts.partitionsEnd
        << "; the BIOS reports " << rescue.geometry.sectors << " sectors for this disk.";
  }
  lines[static_cast<std::size_t>(count++)] << "This floppy may belong to another disk.";
  int rows = rowsAfter;
  for (int at = 0; at < count; ++at) {
    rows += Screen::RowsOf(lines[static_cast<std::size_t>(at)].Text());
  }
  rescue.screen.KeepTogether(rows);
  for (int at = 0; at < count; ++at) {
    Say(rescue.screen, lines[static_cast<std::size_t>(at)], Tone::Strong);
  }
}

// One side of a differing sector: its used entries as type, first sector and size.
Line EntriesLine(const Rescue& rescue, const char* side, SectorView record, std::uint32_t lba) {
  const std::uint32_t base = ExtendedBase(rescue.Copies());
  Line line;
  line << "    " << side << ":";
  if (!partition::HasUsedEntry(record)) {
    return line << " no partitions";
  }
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
  return line;
}

// The row of one copy, with both tables where the disk holds a valid one
// there, kept on one page. Returns whether the disk's table has partitions
// other than the copy's.
bool SayComparison(Rescue& rescue, int copy, const Line& row, bool showTables, Tone tone) {
  Screen& screen = rescue.screen;
  if (!showTables) {
    Say(screen, row, tone);
    return false;
  }
  const std::uint32_t lba = LbaOf(rescue.index, copy);
  const SectorView onDisk = rescue.memory.sector;
  const Line disk = EntriesLine(rescue, "disk", onDisk, lba);
  const Line copied = EntriesLine(rescue, "copy", rescue.Copy(copy), lba);
  screen.KeepTogether(Screen::RowsOf(row.Text()) + Screen::RowsOf(disk.Text()) +
                      Screen::RowsOf(copied.Text()));
  Say(screen, row, tone);
  Say(screen, disk);
  Say(screen, copied);
  return partition::HasUsedEntry(onDisk) && !SameEntries(onDisk, rescue.Copy(copy));
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
    const bool showTables = readable && differs &&
                            IsValidTable(rescue.memory.sector, lba, base, rescue.geometry.sectors);
    anotherTable |=
        SayComparison(rescue, copy, line, showTables, differs ? Tone::Strong : Tone::Plain);
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
  for (char key = screen.Ask(question, Tone::Strong);;
       key = screen.WaitForKey(question, Tone::Strong)) {
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

// The second question, with the reasons for it directly above where the
// screen no longer shows them.
bool ConfirmDespiteDoubts(Rescue& rescue, const Doubts& doubts, int doubtsRow) {
  const char* const question = "Restore to this disk anyway? (Y/N) ";
  if (!rescue.screen.StillShows(doubtsRow)) {
    SayDoubts(rescue, doubts, Screen::RowsOf(question));
  }
  return AnswerIsYes(rescue.screen, question);
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
  const auto count = static_cast<std::uint32_t>(plan.count);
  Say(rescue.screen,
      Line() << "Restored " << std::uint64_t{count} << Plural(count, " sector.", " sectors."),
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
  const Doubts doubts = FindDoubts(rescue);
  const int doubtsRow = screen.Row();
  if (doubts.Any()) {
    SayDoubts(rescue, doubts, 0);
  }
  RestorePlan plan;
  Compare(rescue, plan);
  SummarizePartitions(rescue);
  if (plan.count == 0) {
    Say(screen, "The disk's partition system matches this rescue floppy. Nothing to restore.",
        Tone::Strong);
    return Outcome::NothingToRestore;
  }
  const auto count = static_cast<std::uint32_t>(plan.count);
  const Line question = Line() << "Restore " << std::uint64_t{count}
                               << Plural(count, " sector", " sectors")
                               << " to the hard disk? (Y/N) ";
  if (!AnswerIsYes(screen, question.Text()) ||
      (doubts.Any() && !ConfirmDespiteDoubts(rescue, doubts, doubtsRow))) {
    Say(screen, "Nothing was written.");
    return Outcome::Declined;
  }
  return Restore(rescue, plan);
}

}  // namespace

Outcome RunRescue(Machine& machine, RescueMemory& memory) {
  Screen screen(machine);
  Rescue rescue{machine, screen, memory, machine.BootDrive(), {}, kFirstHardDisk, {}};
  const Outcome outcome = RunSteps(rescue);
  // Where a restart with the floppy can go further, it stays in.
  const bool retry = outcome == Outcome::FloppyReadError || outcome == Outcome::NoHardDisk ||
                     outcome == Outcome::SeveralHardDisks;
  screen.Ask(
      retry ? "Press any key to restart." : "Remove the rescue disk and press any key to restart.",
      Tone::Plain);
  Say(screen, "");
  return outcome;
}

}  // namespace corvane::boot
