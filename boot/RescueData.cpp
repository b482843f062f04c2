#include "boot/RescueData.h"

namespace corvane::boot {

using partition::EntryStart;
using partition::EntryType;
using partition::HasBootSignature;
using partition::IsExtendedType;
using partition::kLinkEntry;
using partition::kPartitionEntryCount;

ControlCheck ReadControlBuffer(std::span<const std::uint8_t> sector, RescueIndex& index) {
  if (sector.size() < disk::kSectorSize) {
    return ControlCheck::Truncated;
  }
  RescueIndex found;
  int records = 0;
  std::size_t at = 0;
  for (; sector[at] == rescue::kControlRecordMarker; at += rescue::kControlRecordSize) {
    if (at > static_cast<std::size_t>(rescue::kLastControlRecordOffset)) {
      return ControlCheck::TooManyRecords;
    }
    const std::uint32_t value = disk::LittleEndian32(sector, at + 1);
    if (records == 0) {
      found.driveNumber = value;
    } else {
      found.lbas[static_cast<std::size_t>(records - 1)] = value;
    }
    ++records;
  }
  if (records == 0) {
    return ControlCheck::NoRecords;
  }
  if (sector[at] != 0) {
    return ControlCheck::Unterminated;
  }
  if (records == 1) {
    return ControlCheck::NoMasterBootRecord;
  }
  if (found.lbas[0] != 0) {
    return ControlCheck::FirstLbaNotZero;
  }
  found.copyCount = records - 1;
  index = found;
  return ControlCheck::Valid;
}

SectorView CopyAt(std::span<const std::uint8_t> copies, int copy) {
  return copies.subspan(static_cast<std::size_t>(copy) * disk::kSectorSize)
      .first<disk::kSectorSize>();
}

bool SameSector(SectorView sector, std::span<const std::uint8_t> other) {
  if (other.size() != sector.size()) {
    return false;
  }
  for (std::size_t at = 0; at < sector.size(); ++at) {
    if (sector[at] != other[at]) {
      return false;
    }
  }
  return true;
}

ChainProblem CheckChain(const RescueIndex& index, std::span<const std::uint8_t> copies) {
  const int count = index.copyCount;
  if (count < 1 || count > kMaxCopies ||
      copies.size() < static_cast<std::size_t>(count) * disk::kSectorSize) {
    return {ChainCheck::MissingCopies, 0};
  }
  for (int copy = 0; copy < count; ++copy) {
    if (!HasBootSignature(CopyAt(copies, copy))) {
      return {ChainCheck::NoBootSignature, copy};
    }
    for (int earlier = 0; earlier < copy; ++earlier) {
      if (index.lbas[static_cast<std::size_t>(earlier)] ==
          index.lbas[static_cast<std::size_t>(copy)]) {
        return {ChainCheck::RepeatedLba, copy};
      }
    }
  }
  if (count == 1) {
    return {};
  }
  const SectorView masterBootRecord = CopyAt(copies, 0);
  const int extended = partition::FirstExtendedEntry(masterBootRecord);
  if (extended < 0) {
    return {ChainCheck::NoExtendedPartition, 1};
  }
  const std::uint32_t base = EntryStart(masterBootRecord, extended);
  std::uint32_t expected = base;
  for (int copy = 1; copy < count; ++copy) {
    if (index.lbas[static_cast<std::size_t>(copy)] != expected) {
      return {ChainCheck::BrokenLink, copy};
    }
    const SectorView record = CopyAt(copies, copy);
    if (copy + 1 < count && !IsExtendedType(EntryType(record, kLinkEntry))) {
      return {ChainCheck::BrokenLink, copy + 1};
    }
    expected = base + EntryStart(record, kLinkEntry);  // wraps as the program's walk does
  }
  return {};
}

PartitionSummary SummarizePartitions(const RescueIndex& index,
                                     std::span<const std::uint8_t> copies) {
  PartitionSummary summary;
  // Only copies that are there, whatever the index says.
  const auto present = static_cast<int>(copies.size() / disk::kSectorSize);
  const int count = index.copyCount < present ? index.copyCount : present;
  if (count < 1) {
    return summary;
  }
  const SectorView masterBootRecord = CopyAt(copies, 0);
  for (int entry = 0; entry < kPartitionEntryCount; ++entry) {
    const std::uint8_t type = EntryType(masterBootRecord, entry);
    if (IsExtendedType(type)) {
      if (!summary.extended) {
        summary.extended = true;
        summary.extendedBase = EntryStart(masterBootRecord, entry);
      }
    } else if (type != 0) {
      ++summary.primaries;
    }
  }
  for (int copy = 1; copy < count; ++copy) {
    if (EntryType(CopyAt(copies, copy), 0) != 0) {
      ++summary.logicalDrives;
    }
  }
  return summary;
}

bool PlanCopy(RestorePlan& plan, int copy, SectorView copyData,
              std::span<const std::uint8_t> diskSector) {
  if (SameSector(copyData, diskSector)) {
    return false;
  }
  if (copy >= 0 && copy < kMaxCopies && plan.count < kMaxCopies) {
    plan.copies[static_cast<std::size_t>(plan.count++)] = static_cast<std::uint8_t>(copy);
  }
  return true;
}

}  // namespace corvane::boot
