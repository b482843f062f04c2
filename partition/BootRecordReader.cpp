#include "partition/BootRecordReader.h"

#include <algorithm>

#include "disk/SectorAccess.h"

namespace corvane::partition {
namespace {

using disk::kResultFailed;
using disk::kResultNoBootSignature;
using disk::kResultNoRecord;
using disk::kResultOk;

}  // namespace

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
  const int extended = FirstExtendedEntry(workingSector);
  if (extended < 0) {
    return kResultNoRecord;
  }
  extendedBase = EntryStart(workingSector, extended);
  return HandOutWorkingSector(extendedBase, out);
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
