#include "boot/RescueKernel.h"

#include <cstddef>

namespace corvane::boot {
namespace {

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

  Line& operator<<(std::uint32_t value) { return Number(value, 0); }

  // The value right-aligned in width characters.
  Line& Number(std::uint32_t value, std::size_t width) {
    std::array<char, 11> digits{};
    std::size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
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

  // Spaces up to column.
  Line& PadTo(std::size_t column) {
    while (length < column) {
      *this << " ";
    }
    return *this;
  }

  [[nodiscard]] const char* Text() const { return text.data(); }

 private:
  // Only the characters up to length and the '\0' after them are ever read.
  std::array<char, 100> text;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  std::size_t length = 0;
};

const char* Plural(std::uint32_t count, const char* one, const char* many) {
  return count == 1 ? one : many;
}

void Say(Machine& machine, const char* text, Tone tone = Tone::Plain) {
  machine.Write(text, tone);
  machine.Write("\n", tone);
}

void Say(Machine& machine, const Line& line, Tone tone = Tone::Plain) {
  Say(machine, line.Text(), tone);
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
  return line << "EBR " << static_cast<std::uint32_t>(copy);
}

std::span<std::uint8_t, disk::kSectorSize> WritableCopy(RescueMemory& memory, int copy) {
  return std::span<std::uint8_t>(memory.copies)
      .subspan(static_cast<std::size_t>(copy) * disk::kSectorSize)
      .first<disk::kSectorSize>();
}

Outcome FloppyReadError(Machine& machine, int sector) {
  Say(machine,
      Line() << "Floppy read error at sector " << static_cast<std::uint32_t>(sector) << ".",
      Tone::Strong);
  return Outcome::FloppyReadError;
}

void DescribeChainProblem(Machine& machine, const RescueIndex& index, ChainProblem problem) {
  Line line;
  line << "The copy of ";
  AppendKind(line, problem.copy) << " (floppy sector "
                                 << static_cast<std::uint32_t>(FloppySectorOf(problem.copy))
                                 << ") ";
  switch (problem.check) {
    case ChainCheck::NoBootSignature:
      line << "does not end in 55 AA.";
      break;
    case ChainCheck::RepeatedLba:
      line << "repeats LBA " << LbaOf(index, problem.copy) << ".";
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
  Say(machine, line, Tone::Strong);
  Say(machine, "This rescue floppy is damaged: nothing will be written.", Tone::Strong);
}

// Step 3: the one hard disk to restore, large enough for every copy. False,
// with the reason in stop, when there is none.
bool CheckHardDisk(Machine& machine, const RescueIndex& index, Outcome& stop) {
  const int disks = machine.CountHardDisks();
  if (disks < 1) {
    Say(machine, "No hard disk found.", Tone::Strong);
    stop = Outcome::NoHardDisk;
    return false;
  }
  if (disks > 1) {
    Say(machine,
        "More than one hard disk is attached. Remove all hard disks other than the damaged one "
        "and restart.",
        Tone::Strong);
    stop = Outcome::SeveralHardDisks;
    return false;
  }
  std::uint64_t size = 0;
  if (!machine.HasDiskExtensions() || !machine.ReadDiskSize(size)) {
    Say(machine,
        "The BIOS offers no extended access (int 13h functions 41h to 48h) to the hard disk.",
        Tone::Strong);
    stop = Outcome::NoDiskExtensions;
    return false;
  }
  std::uint32_t highest = 0;
  for (int copy = 0; copy < index.copyCount; ++copy) {
    highest = LbaOf(index, copy) > highest ? LbaOf(index, copy) : highest;
  }
  if (size <= highest) {
    Say(machine,
        Line() << "The hard disk has " << static_cast<std::uint32_t>(size)
               << " sectors, too few for LBA " << highest << " of this floppy.",
        Tone::Strong);
    stop = Outcome::DiskTooSmall;
    return false;
  }
  constexpr unsigned kSectorsPerMebibyteShift = 11;
  Say(machine, Line() << "Hard disk 80h: "
                      << static_cast<std::uint32_t>(size >> kSectorsPerMebibyteShift) << " MiB.");
  return true;
}

void SummarizePartitions(Machine& machine, const RescueIndex& index,
                         std::span<const std::uint8_t> copies) {
  const PartitionSummary summary = SummarizePartitions(index, copies);
  Line line;
  line << "Partitions: " << static_cast<std::uint32_t>(summary.primaries)
       << Plural(static_cast<std::uint32_t>(summary.primaries), " primary", " primaries");
  if (summary.extended) {
    line << ", extended at LBA " << summary.extendedBase << " with "
         << static_cast<std::uint32_t>(summary.logicalDrives)
         << Plural(static_cast<std::uint32_t>(summary.logicalDrives), " logical drive.",
                   " logical drives.");
  } else {
    line << ", no extended partition.";
  }
  Say(machine, line);
}

// Y or N, whatever else is typed first.
bool AnswerIsYes(Machine& machine) {
  for (;;) {
    const char key = machine.WaitForKey();
    if (key == 'y' || key == 'Y') {
      Say(machine, "Y", Tone::Strong);
      return true;
    }
    if (key == 'n' || key == 'N') {
      Say(machine, "N", Tone::Strong);
      return false;
    }
  }
}

Outcome Restore(Machine& machine, const RescueIndex& index, RescueMemory& memory,
                const RestorePlan& plan) {
  const std::span<const std::uint8_t> copies(memory.copies);
  for (int planned = 0; planned < plan.count; ++planned) {
    const int copy = plan.copies[static_cast<std::size_t>(planned)];
    const std::uint32_t lba = LbaOf(index, copy);
    const char* failure = nullptr;
    if (!machine.WriteDiskSector(lba, CopyAt(copies, copy))) {
      failure = ": the disk refused the write.";
    } else if (!machine.ReadDiskSector(lba, memory.sector) ||
               !SameSector(CopyAt(copies, copy), memory.sector)) {
      failure = ": the sector does not read back as written.";
    }
    if (failure != nullptr) {
      Say(machine, Line() << "Restoring LBA " << lba << " failed" << failure, Tone::Strong);
      Say(machine, Line() << static_cast<std::uint32_t>(planned) << " of "
                          << static_cast<std::uint32_t>(plan.count)
                          << " sectors were restored before.");
      return Outcome::RestoreFailed;
    }
  }
  const auto count = static_cast<std::uint32_t>(plan.count);
  Say(machine, Line() << "Restored " << count << " sectors.", Tone::Strong);
  return Outcome::Restored;
}

Outcome Rescue(Machine& machine, RescueMemory& memory) {
  Say(machine, "Corvane rescue kernel: restores a hard disk's partition system", Tone::Heading);
  Say(machine, "");
  if (!machine.ReadFloppySector(rescue::kControlBufferFloppySector, memory.sector)) {
    return FloppyReadError(machine, rescue::kControlBufferFloppySector);
  }
  RescueIndex index;
  if (ReadControlBuffer(memory.sector, index) != ControlCheck::Valid) {
    Say(machine, "This floppy holds no rescue data.", Tone::Strong);
    return Outcome::NoRescueData;
  }
  for (int copy = 0; copy < index.copyCount; ++copy) {
    if (!machine.ReadFloppySector(FloppySectorOf(copy), WritableCopy(memory, copy))) {
      return FloppyReadError(machine, FloppySectorOf(copy));
    }
  }
  const auto ebrs = static_cast<std::uint32_t>(index.copyCount - 1);
  Say(machine, Line() << "Rescue data of Windows disk " << index.driveNumber << ": its MBR and "
                      << ebrs << Plural(ebrs, " EBR.", " EBRs."));
  const std::span<const std::uint8_t> copies(memory.copies);
  const ChainProblem problem = CheckChain(index, copies);
  if (problem.check != ChainCheck::Valid) {
    DescribeChainProblem(machine, index, problem);
    return Outcome::DamagedCopies;
  }
  Outcome stop = Outcome::NoHardDisk;
  if (!CheckHardDisk(machine, index, stop)) {
    return stop;
  }

  Say(machine, "         LBA  copy      on the hard disk");
  RestorePlan plan;
  for (int copy = 0; copy < index.copyCount; ++copy) {
    const std::uint32_t lba = LbaOf(index, copy);
    const bool readable = machine.ReadDiskSector(lba, memory.sector);
    const bool differs = PlanCopy(
        plan, copy, CopyAt(copies, copy),
        readable ? std::span<const std::uint8_t>(memory.sector) : std::span<const std::uint8_t>());
    Line line;
    line.Number(lba, 12) << "  ";
    AppendKind(line, copy).PadTo(24) << (readable ? (differs ? "differs" : "same") : "unreadable");
    Say(machine, line, differs ? Tone::Strong : Tone::Plain);
  }
  SummarizePartitions(machine, index, copies);

  if (plan.count == 0) {
    Say(machine, "The disk's partition system matches this rescue floppy. Nothing to restore.",
        Tone::Strong);
    return Outcome::NothingToRestore;
  }
  const auto count = static_cast<std::uint32_t>(plan.count);
  machine.Write((Line() << "Restore " << count << " sectors to the hard disk? (Y/N) ").Text(),
                Tone::Strong);
  if (!AnswerIsYes(machine)) {
    Say(machine, "Nothing was written.");
    return Outcome::Declined;
  }
  return Restore(machine, index, memory, plan);
}

}  // namespace

Outcome RunRescue(Machine& machine, RescueMemory& memory) {
  const Outcome outcome = Rescue(machine, memory);
  // Where a restart with the floppy can go further, it stays in.
  const bool retry = outcome == Outcome::FloppyReadError || outcome == Outcome::NoHardDisk ||
                     outcome == Outcome::SeveralHardDisks;
  Say(machine,
      retry ? "Press any key to restart." : "Remove the floppy and press any key to restart.");
  machine.WaitForKey();
  return outcome;
}

}  // namespace corvane::boot
