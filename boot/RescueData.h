#pragma once

// What the rescue kernel decides, as plain functions over bytes: whether a
// floppy's control buffer is valid, whether its copies form the chain the
// program walked, and which sectors of the hard disk a restore writes. The
// kernel runs them on what it reads through the BIOS; the native tests and a
// fuzzer run them on any bytes at all.

#include <array>
#include <cstdint>
#include <span>

#include "disk/Sector.h"
#include "partition/PartitionTable.h"
#include "rescue/ControlBuffer.h"
#include "rescue/FloppyLayout.h"

namespace corvane::boot {

// The MBR and as many EBRs as a standard 1.44 MB floppy holds before its root
// directory: the most the program writes onto the floppy our boot sector lays out.
inline constexpr int kMaxCopies =
    1 + rescue::ExtendedRecordRoom(rescue::kStandardRootDirectorySector);

using SectorView = std::span<const std::uint8_t, disk::kSectorSize>;

// How many copies the floppy whose boot sector this is can hold, as the
// program computes it from the BPB, and never more than the kernel keeps.
int CopyRoom(SectorView bootSector);

// What a valid control buffer says: the number Windows gave the rescued disk,
// and the LBA of each copy in floppy order (copy 0, the MBR, in floppy sector
// rescue::kMasterBootRecordFloppySector; copy k, EBR k, in the sector after).
struct RescueIndex {
  std::uint32_t driveNumber = 0;
  int copyCount = 0;
  std::array<std::uint32_t, kMaxCopies> lbas{};
};

enum class ControlCheck {
  Valid,
  Truncated,           // fewer than 512 bytes
  NoRecords,           // the first byte is not '$'
  NoMasterBootRecord,  // only the drive number
  Unterminated,        // the byte after the last record is neither '$' nor 0
  FirstLbaNotZero,
  MoreCopiesThanRoom,  // more copies than room (from CopyRoom) on the floppy
};

// Reads the control buffer; index is filled only when the result is Valid.
ControlCheck ReadControlBuffer(std::span<const std::uint8_t> sector, int room, RescueIndex& index);

enum class ChainCheck {
  Valid,
  MissingCopies,        // fewer bytes than the index has copies
  NoBootSignature,      // the copy does not end in 55 AA
  RepeatedLba,          // the copy's LBA is already another copy's
  NoExtendedPartition,  // EBR copies, but the MBR copy has no extended entry
  BrokenLink,           // the chain does not lead to the copy's LBA
  LinksOnward,          // the last copy links to a further EBR: the chain was cut
};

struct ChainProblem {
  ChainCheck check = ChainCheck::Valid;
  int copy = 0;  // the copy found wrong (0 the MBR, k EBR k)
};

// Checks that copies (the copies in floppy order, 512 bytes each) form the
// chain the program walks: the MBR's first entry of type 5 or 0x0F gives the
// first EBR, each EBR's second entry the next, relative to the extended base,
// in 32-bit arithmetic. The program records whole chains, so the last copy
// holds no link: one that does would restore a chain that leads to a sector
// the floppy does not hold, or loops back to an earlier copy.
ChainProblem CheckChain(const RescueIndex& index, std::span<const std::uint8_t> copies);

// Copy number copy of copies.
SectorView CopyAt(std::span<const std::uint8_t> copies, int copy);

// Whether other holds exactly the 512 bytes of sector.
bool SameSector(SectorView sector, std::span<const std::uint8_t> other);

// Whether two boot records hold the same four partition entries, whatever
// their boot code or disk signature.
bool SameEntries(SectorView record, SectorView other);

// What the copies describe, for the one-line summary: primary partitions in
// the MBR, the first extended entry, and logical drives (EBRs whose first
// entry is used).
struct PartitionSummary {
  int primaries = 0;
  bool extended = false;
  std::uint32_t extendedBase = 0;
  int logicalDrives = 0;
};
PartitionSummary SummarizePartitions(const RescueIndex& index,
                                     std::span<const std::uint8_t> copies);

// The disk signature of an MBR (bytes 440 to 443), as fdisk shows it.
std::uint32_t DiskSignature(SectorView masterBootRecord);

// Where a partition entry of the boot record at lba lies on the disk: the
// MBR's (lba 0) entries as they stand, an EBR's link relative to the extended
// base, its other entries relative to the EBR, in 32-bit arithmetic as the
// chain is walked; the end is the sector after the partition.
struct EntryPlace {
  std::uint32_t first = 0;
  std::uint64_t end = 0;
};
EntryPlace PlaceOf(SectorView record, int entry, std::uint32_t lba, std::uint32_t base);

// The base of the extended partition the MBR copy names, 0 without one.
std::uint32_t ExtendedBase(std::span<const std::uint8_t> copies);

// The sector after the last partition that any used entry of the copies
// describes: the one figure the disk's size must reach.
std::uint64_t PartitionsEnd(const RescueIndex& index, std::span<const std::uint8_t> copies);

// Whether sector, read at lba of a disk of diskSectors sectors, is a valid
// partition table there: it ends in 55 AA and every used entry lies inside.
bool IsValidTable(SectorView sector, std::uint32_t lba, std::uint32_t base,
                  std::uint64_t diskSectors);

// The sectors a restore writes: copy numbers, each naming its LBA through the
// index, so nothing outside the control buffer can be planned.
struct RestorePlan {
  int count = 0;
  std::array<std::uint8_t, kMaxCopies> copies{};
};

// Adds copy to the plan when the disk holds something else at its LBA (or
// could not be read there: diskSector empty). Returns whether it differs.
bool PlanCopy(RestorePlan& plan, int copy, SectorView copyData,
              std::span<const std::uint8_t> diskSector);

}  // namespace corvane::boot
