#pragma once

#include <cstdint>
#include <span>

#include "disk/Sector.h"

namespace corvane::rescue {

// A 1.44 MB floppy: one reserved sector and two FATs of nine sectors put the
// root directory at sector 19.
inline constexpr int kStandardRootDirectorySector = 19;

// Where the floppy's root directory starts, as the boot sector's BPB lays the
// floppy out; the standard layout when the BPB is not a usable FAT12 one.
int FirstRootDirectorySector(std::span<const std::uint8_t, disk::kSectorSize> bootSector);

// How many EBR copies fit between the MBR copy and the root directory, which
// the kernel file's directory entry and data must keep.
int ExtendedRecordRoom(int firstRootDirectorySector);

}  // namespace corvane::rescue
