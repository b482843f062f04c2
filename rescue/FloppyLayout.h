#pragma once

// The FAT12 layout of a rescue floppy, as the boot sector's BPB describes it.
// Header only and free of any library beyond the freestanding one: the program
// and the rescue kernel must agree on where the copies may go.

#include <cstdint>
#include <span>

#include "disk/Sector.h"
#include "rescue/ControlBuffer.h"

namespace corvane::rescue {

// The BPB fields that decide where every sector of the floppy lies.
struct FloppyBpb {
  std::uint16_t bytesPerSector = 0;
  std::uint8_t sectorsPerCluster = 0;
  std::uint16_t reservedSectors = 0;
  std::uint8_t fatCount = 0;
  std::uint16_t rootEntries = 0;
  std::uint16_t totalSectors = 0;
  std::uint16_t sectorsPerFat = 0;
  std::uint16_t sectorsPerTrack = 0;
  std::uint16_t heads = 0;
  friend constexpr bool operator==(const FloppyBpb&, const FloppyBpb&) = default;
};

// A 1.44 MB floppy as every format tool lays it out: one reserved sector and
// two FATs of nine sectors put the root directory at sector 19.
inline constexpr FloppyBpb kStandardFloppyBpb{512, 1, 1, 2, 224, 2880, 9, 18, 2};
inline constexpr int kStandardRootDirectorySector = 19;

inline FloppyBpb ReadFloppyBpb(std::span<const std::uint8_t, disk::kSectorSize> bootSector) {
  FloppyBpb bpb;
  bpb.bytesPerSector = disk::LittleEndian16(bootSector, 11);
  bpb.sectorsPerCluster = bootSector[13];
  bpb.reservedSectors = disk::LittleEndian16(bootSector, 14);
  bpb.fatCount = bootSector[16];
  bpb.rootEntries = disk::LittleEndian16(bootSector, 17);
  bpb.totalSectors = disk::LittleEndian16(bootSector, 19);
  bpb.sectorsPerFat = disk::LittleEndian16(bootSector, 22);
  bpb.sectorsPerTrack = disk::LittleEndian16(bootSector, 24);
  bpb.heads = disk::LittleEndian16(bootSector, 26);
  return bpb;
}

// Enough of a FAT12 BPB to place the root directory by it.
inline bool IsUsableFat12Bpb(const FloppyBpb& bpb) {
  return bpb.bytesPerSector == disk::kSectorSize && (bpb.fatCount == 1 || bpb.fatCount == 2) &&
         bpb.reservedSectors >= 1 && bpb.sectorsPerFat >= 1;
}

// The layout a floppy made with this boot sector must have: its BPB's, or the
// standard 1.44 MB one when the BPB is not a usable FAT12 one.
inline FloppyBpb ExpectedFloppyBpb(std::span<const std::uint8_t, disk::kSectorSize> bootSector) {
  const FloppyBpb bpb = ReadFloppyBpb(bootSector);
  return IsUsableFat12Bpb(bpb) ? bpb : kStandardFloppyBpb;
}

// Where the floppy's root directory starts, as the boot sector's BPB lays the
// floppy out; the standard layout when the BPB is not a usable FAT12 one.
inline int FirstRootDirectorySector(std::span<const std::uint8_t, disk::kSectorSize> bootSector) {
  const FloppyBpb bpb = ExpectedFloppyBpb(bootSector);
  return bpb.reservedSectors + bpb.fatCount * bpb.sectorsPerFat;
}

// How many EBR copies fit between the MBR copy and the root directory, which
// the kernel file's directory entry and data must keep.
constexpr int ExtendedRecordRoom(int firstRootDirectorySector) {
  const int room = firstRootDirectorySector - (kMasterBootRecordFloppySector + 1);
  return room > 0 ? room : 0;
}

}  // namespace corvane::rescue
