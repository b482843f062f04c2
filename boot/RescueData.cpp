#include "boot/RescueData.h"

namespace corvane::boot {

using partition::EntryStart;
using partition::EntryType;
using partition::HasBootSignature;
using partition::IsExtendedType;
using partition::kLinkEntry;
using partition::kPartitionEntryCount;

int CopyRoom(SectorView bootSector) {
  const int room = 1 + rescue::ExtendedRecordRoom(rescue::FirstRootDirectorySector(bootSector));
  return room < kMaxCopies ? room : kMaxCopies;
}

ControlCheck ReadControlBuffer(std::span<const std::uint8_t> sector, int room, RescueIndex& index) {
  if (sector.size() < disk::kSectorSize) {
    return ControlCheck::Truncated;
  }
  const int copyRoom = room < kMaxCopies ? room : kMaxCopies;
  RescueIndex found;
  int records = 0;
  // At most kMaxCopies + 1 records are read, far from the sector's end.
  std::size_t at = 0;
  for (; sector[at] == rescue::kControlRecordMarker; at += rescue::kControlRecordSize) {
    if (records > copyRoom) {
      return ControlCheck::MoreCopiesThanRoom;
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

namespace {

bool SameBytes(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> other) {
  if (other.size() != bytes.size()) {
    return false;
  }
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    if (bytes[at] != other[at]) {
      return false;
    }
  }
  return true;
}

std::span<const std::uint8_t> EntriesOf(SectorView record) {
  return record.subspan(partition::kPartitionTableOffset,
                        partition::kPartitionEntrySize * kPartitionEntryCount);
}

}  // namespace

bool SameSector(SectorView sector, std::span<const std::uint8_t> other) {
  return SameBytes(sector, other);
}

bool SameEntries(SectorView record, SectorView other) {
  return SameBytes(EntriesOf(record), EntriesOf(other));
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
    const bool links = IsExtendedType(EntryType(record, kLinkEntry));
    if (copy + 1 < count && !links) {
      return {ChainCheck::BrokenLink, copy + 1};
    }
    if (copy + 1 == count && links) {
      return {ChainCheck::LinksOnward, copy};
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

std::uint32_t DiskSignature(SectorView masterBootRecord) {
  constexpr std::size_t kDiskSignatureOffset = 440;
  return disk::LittleEndian32(masterBootRecord, kDiskSignatureOffset);
}

EntryPlace PlaceOf(SectorView record, int entry, std::uint32_t lba, std::uint32_t base) {
  constexpr std::size_t kSizeInEntry = 12;
  const std::uint32_t relativeTo = lba == 0 ? 0 : (entry == kLinkEntry ? base : lba);
  EntryPlace place;
  place.first = relativeTo + EntryStart(record, entry);  // wraps as the chain's walk does
  place.end = place.first + std::uint64_t{disk::LittleEndian32(
                                record, partition::EntryOffset(entry) + kSizeInEntry)};
  return place;
}

namespace {

std::uint64_t RecordEnd(SectorView record, std::uint32_t lba, std::uint32_t base) {
  std::uint64_t end = 0;
  for (int entry = 0; entry < kPartitionEntryCount; ++entry) {
    if (EntryType(record, entry) != 0) {
      const std::uint64_t entryEnd = PlaceOf(record, entry, lba, base).end;
      end = entryEnd > end ? entryEnd : end;
    }
  }
  return end;
}

}  // namespace

std::uint32_t ExtendedBase(std::span<const std::uint8_t> copies) {
  const SectorView masterBootRecord = CopyAt(copies, 0);
  const int extended = partition::FirstExtendedEntry(masterBootRecord);
  return extended < 0 ? 0 : EntryStart(masterBootRecord, extended);
}

std::uint64_t PartitionsEnd(const RescueIndex& index, std::span<const std::uint8_t> copies) {
  const std::uint32_t base = ExtendedBase(copies);
  std::uint64_t end = 0;
  for (int copy = 0; copy < index.copyCount; ++copy) {
    const std::uint64_t copyEnd =
        RecordEnd(CopyAt(copies, copy), index.lbas[static_cast<std::size_t>(copy)], base);
    end = copyEnd > end ? copyEnd : end;
  }
  return end;
}

bool IsValidTable(SectorView sector, std::uint32_t lba, std::uint32_t base,
                  std::uint64_t diskSectors) {
  return HasBootSignature(sector) && RecordEnd(sector, lba, base) <= diskSectors;
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
