#pragma once

// The FAT12 layout of a rescue floppy, as the boot sector's BPB describes it.
// Header only and free of any library beyond the freestanding one: the program
// and the rescue kernel must agree on where the copies may go.

#include <cstddef>
#include <cstdint>
#include <span>

#include "disk/Sector.h"
#include "rescue/ControlBuffer.h"

namespace corvane::rescue {

// What the boot sector looks for in the root directory: the 8.3 name, unpadded.
inline constexpr char kKernelDirectoryName[] = "BOOTCOREBIN";
// The boot sector reads the FAT entries of floppy sectors 1 and 2 only, since
// the copies overwrite the FATs' later sectors.
inline constexpr int kLoaderFatFirstSector = 1;
inline constexpr int kLoaderFatSectors = 2;
// It loads the kernel at 0000:1000, up to its own sector at 0000:7C00.
inline constexpr std::uint32_t kKernelLoadLimit = 0x7C00 - 0x1000;
// A directory entry, and its fields the loader uses.
inline constexpr int kDirectoryEntrySize = 32;
inline constexpr int kDirectoryEntryFirstCluster = 26;
inline constexpr int kDirectoryEntryFileSize = 28;
// FAT12 numbers the data area's clusters from 2 and keeps cluster c's 12-bit
// entry in the two bytes from 1.5 c on.
inline constexpr std::size_t kFirstDataCluster = 2;
constexpr std::size_t Fat12EntryOffset(std::size_t cluster) { return cluster + cluster / 2; }
// FAT12 values from this one on end a cluster chain.
inline constexpr unsigned kFat12EndOfChain = 0xFF8;
// The entries that FAT sectors 1 and 2 hold whole, clusters 0 to 681: every
// file of a rescue floppy must lie there, for the boot sector and for a FAT
// driver alike, since the copies overwrite the rest of the FATs.
inline constexpr unsigned kReachableClusters = kLoaderFatSectors * 512 * 2 / 3;
// A directory entry's attribute byte, and the attribute of a directory.
inline constexpr int kDirectoryEntryAttribute = 11;
inline constexpr std::uint8_t kDirectoryAttribute = 0x10;
// Where UEFI firmware looks for the loader of a removable medium: \EFI\BOOT.
inline constexpr char kEfiDirectoryName[] = "EFI        ";
inline constexpr char kBootDirectoryName[] = "BOOT       ";

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
constexpr int FirstRootDirectorySector(const FloppyBpb& bpb) {
  return bpb.reservedSectors + bpb.fatCount * bpb.sectorsPerFat;
}

inline int FirstRootDirectorySector(std::span<const std::uint8_t, disk::kSectorSize> bootSector) {
  return FirstRootDirectorySector(ExpectedFloppyBpb(bootSector));
}

constexpr int RootDirectorySectors(const FloppyBpb& bpb) {
  constexpr int kSectorBytes = disk::kSectorSize;
  return (bpb.rootEntries * kDirectoryEntrySize + kSectorBytes - 1) / kSectorBytes;
}

// How many EBR copies fit between the MBR copy and the root directory, which
// the kernel file's directory entry and data must keep.
constexpr int ExtendedRecordRoom(int firstRootDirectorySector) {
  const int room = firstRootDirectorySector - (kMasterBootRecordFloppySector + 1);
  return room > 0 ? room : 0;
}

}  // namespace corvane::rescue
