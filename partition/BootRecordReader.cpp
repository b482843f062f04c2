#include "partition/BootRecordReader.h"

#include <algorithm>

#include "disk/SectorAccess.h"

namespace corvane::partition {
namespace {

using disk::kResultFailed;
using disk::kResultNoBootSignature;
using disk::kResultNoRecord;
using disk::kResultOk;

constexpr std::size_t kTypeOffsetInEntry = 4;
constexpr std::size_t kStartOffsetInEntry = 8;
// In an EBR, entry 0 describes the logical drive and entry 1 links to the next EBR.
constexpr int kLinkEntry = 1;

std::size_t EntryOffset(int entry) {
  return kPartitionTableOffset + kPartitionEntrySize * static_cast<std::size_t>(entry);
}

std::uint8_t EntryType(std::span<const std::uint8_t, disk::kSectorSize> sector, int entry) {
  return sector[EntryOffset(entry) + kTypeOffsetInEntry];
}

std::uint32_t EntryStart(const disk::Sector& sector, int entry) {
  return disk::LittleEndian32(sector, EntryOffset(entry) + kStartOffsetInEntry);
}

bool IsExtendedType(std::uint8_t type) { return type == 0x05 || type == 0x0F; }

constexpr std::uint8_t kGptProtectiveType = 0xEE;

}  // namespace

bool HasBootSignature(std::span<const std::uint8_t, disk::kSectorSize> sector) {
  return sector[510] == 0x55 && sector[511] == 0xAA;
}

bool HasGptProtectiveEntry(std::span<const std::uint8_t, disk::kSectorSize> bootRecord) {
  for (int entry = 0; entry < kPartitionEntryCount; ++entry) {
    if (EntryType(bootRecord, entry) == kGptProtectiveType) {
      return true;
    }
  }
  return false;
}

void CopySector(std::span<std::uint8_t> destination, std::span<const std::uint8_t> source,
                int length) {
  if (length <= 0) {
    return;
  }
  const std::size_t count =
      std::min({static_cast<std::size_t>(length), destination.size(), source.size()});
  std::copy_n(source.begin(), count, destination.begin());
}

BootRecordReader::BootRecordReader(platform::Platform& platform, int driveNumber)
    : driveNumber(driveNumber), platform(platform) {}

int BootRecordReader::ReadMasterBootRecord(SectorRecord& out) {
  if (disk::ReadDriveSectors(platform, driveNumber, 0, 1, out.data) != kResultOk) {
    return kResultFailed;
  }
  if (!HasBootSignature(out.data)) {
    return kResultNoBootSignature;
  }
  out.lba = 0;
  return kResultOk;
}

int BootRecordReader::ReadFirstExtendedRecord(SectorRecord& out) {
  if (const int result = ReadWorkingSector(0); result != kResultOk) {
    return result;
  }
  for (int entry = 0; entry < kPartitionEntryCount; ++entry) {
    if (IsExtendedType(EntryType(workingSector, entry))) {
      extendedBase = EntryStart(workingSector, entry);
      return HandOutWorkingSector(extendedBase, out);
    }
  }
  return kResultNoRecord;
}

int BootRecordReader::ReadNextExtendedRecord(SectorRecord& out) {
  if (!HasBootSignature(workingSector)) {
    return kResultNoBootSignature;
  }
  if (!IsExtendedType(EntryType(workingSector, kLinkEntry))) {
    return kResultNoRecord;
  }
  // Links are relative to the extended partition; the sum wraps at 2^32 like
  // the 32-bit LBA it is.
  const std::uint32_t next = extendedBase + EntryStart(workingSector, kLinkEntry);
  return HandOutWorkingSector(next, out);
}

int BootRecordReader::ReadWorkingSector(std::uint32_t lba) {
  if (disk::ReadDriveSectors(platform, driveNumber, lba, 1, workingSector) != kResultOk) {
    return kResultFailed;
  }
  return HasBootSignature(workingSector) ? kResultOk : kResultNoBootSignature;
}

int BootRecordReader::HandOutWorkingSector(std::uint32_t lba, SectorRecord& out) {
  if (const int result = ReadWorkingSector(lba); result != kResultOk) {
    return result;
  }
  out.lba = lba;
  CopySector(out.data, workingSector, static_cast<int>(disk::kSectorSize));
  return kResultOk;
}

}  // namespace corvane::partition
