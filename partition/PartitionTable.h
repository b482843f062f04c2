#pragma once

// The MBR and EBR layout, shared by the program's chain reader and the rescue
// kernel, which must agree on it byte for byte. Header only and free of any
// library beyond the freestanding one, so the real-mode kernel can use it.

#include <cstddef>
#include <cstdint>
#include <span>

#include "disk/Sector.h"

namespace corvane::partition {

inline constexpr std::size_t kPartitionTableOffset = 446;
inline constexpr std::size_t kPartitionEntrySize = 16;
inline constexpr int kPartitionEntryCount = 4;
// In an EBR, entry 0 describes the logical drive and entry 1 links to the next EBR.
inline constexpr int kLinkEntry = 1;

using BootRecordView = std::span<const std::uint8_t, disk::kSectorSize>;

inline bool HasBootSignature(BootRecordView sector) {
  return sector[510] == 0x55 && sector[511] == 0xAA;
}

// Types 5 and 0x0F mark the extended partition in an MBR and the link in an EBR.
inline bool IsExtendedType(std::uint8_t type) { return type == 0x05 || type == 0x0F; }

inline std::size_t EntryOffset(int entry) {
  return kPartitionTableOffset + kPartitionEntrySize * static_cast<std::size_t>(entry);
}

inline std::uint8_t EntryType(BootRecordView sector, int entry) {
  return sector[EntryOffset(entry) + 4];
}

inline std::uint32_t EntryStart(BootRecordView sector, int entry) {
  return disk::LittleEndian32(sector, EntryOffset(entry) + 8);
}

// Whether any of the four entries has a type for which matches is true.
template <typename Matches>
bool HasEntryOfType(BootRecordView bootRecord, Matches matches) {
  for (int entry = 0; entry < kPartitionEntryCount; ++entry) {
    if (matches(EntryType(bootRecord, entry))) {
      return true;
    }
  }
  return false;
}

// True when the partition table holds an entry of type 0xEE: the protective
// MBR of a GUID partition table, or a hybrid one, whose real partition system
// lies outside the MBR and EBRs.
inline bool HasGptProtectiveEntry(BootRecordView bootRecord) {
  return HasEntryOfType(bootRecord, [](std::uint8_t type) { return type == 0xEE; });
}

// Whether any entry is in use: a table without one describes no partition.
inline bool HasUsedEntry(BootRecordView bootRecord) {
  return HasEntryOfType(bootRecord, [](std::uint8_t type) { return type != 0; });
}

// The first entry, in slot order, of an extended type, or -1 when none is.
inline int FirstExtendedEntry(BootRecordView masterBootRecord) {
  for (int entry = 0; entry < kPartitionEntryCount; ++entry) {
    if (IsExtendedType(EntryType(masterBootRecord, entry))) {
      return entry;
    }
  }
  return -1;
}

}  // namespace corvane::partition
