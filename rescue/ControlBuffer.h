#pragma once

#include <cstdint>

#include "disk/Sector.h"

namespace corvane::rescue {

// The control sector indexes the rescue floppy for the rescue kernel: records
// of '$' and a little-endian 32-bit value, packed from offset 0 and ended by the
// first byte that is not '$'. Record 0 holds the drive number; record 1 + k the
// LBA that floppy sector kMasterBootRecordFloppySector + k was copied from.
using ControlBuffer = disk::Sector;

inline constexpr std::uint8_t kControlRecordMarker = '$';
inline constexpr int kControlRecordSize = 5;
// A record and the 0 after it must lie within the sector.
inline constexpr int kLastControlRecordOffset = 505;
// The drive number and the MBR take two of the 102 records that fit.
inline constexpr int kMaxExtendedRecords = kLastControlRecordOffset / kControlRecordSize - 1;

inline constexpr int kBootSectorFloppySector = 0;
inline constexpr int kControlBufferFloppySector = 3;
inline constexpr int kMasterBootRecordFloppySector = 4;

// Writes '$', the value and a terminating 0 at offset. Returns false, writing
// nothing, when the record and its terminator would not fit in the buffer.
bool PutControlRecord(ControlBuffer& buffer, int offset, std::uint32_t value);

}  // namespace corvane::rescue
