#include "tests/fuzz/FuzzOracles.h"

#include <algorithm>

namespace corvane::fuzzing {
namespace {

constexpr std::uint8_t kMarker = '$';
constexpr std::size_t kRecordSize = 5;
constexpr std::size_t kMaxRecords = 102;
constexpr std::size_t kPartitionTable = 446;

std::uint8_t TypeOf(const disk::Sector& sector, int entry) {
  return sector[kPartitionTable + 16 * static_cast<std::size_t>(entry) + 4];
}

std::uint32_t StartOf(const disk::Sector& sector, int entry) {
  return disk::LittleEndian32(sector, kPartitionTable + 16 * static_cast<std::size_t>(entry) + 8);
}

bool IsExtended(std::uint8_t type) { return type == 0x05 || type == 0x0F; }

}  // namespace

std::optional<std::vector<std::uint32_t>> ControlRecords(std::span<const std::uint8_t> sector) {
  std::vector<std::uint32_t> values;
  std::size_t at = 0;
  while (at < sector.size() && sector[at] == kMarker) {
    if (values.size() == kMaxRecords || at + kRecordSize >= sector.size()) {
      return std::nullopt;
    }
    values.push_back(disk::LittleEndian32(sector, at + 1));
    at += kRecordSize;
  }
  if (values.empty() || at >= sector.size() || sector[at] != 0) {
    return std::nullopt;
  }
  return values;
}

bool HasBootSignature(std::span<const std::uint8_t> sector) {
  return sector.size() == disk::kSectorSize && sector[510] == 0x55 && sector[511] == 0xAA;
}

std::optional<std::vector<std::uint32_t>> WalkChain(const SectorLookup& read, std::size_t limit) {
  const auto masterBootRecord = read(0);
  if (!masterBootRecord || !HasBootSignature(*masterBootRecord)) {
    return std::nullopt;
  }
  std::vector<std::uint32_t> lbas{0};
  int extended = 0;
  while (extended < 4 && !IsExtended(TypeOf(*masterBootRecord, extended))) {
    ++extended;
  }
  if (extended == 4) {
    return lbas;
  }
  const std::uint32_t base = StartOf(*masterBootRecord, extended);
  for (std::uint32_t next = base; lbas.size() < limit;) {
    const auto record = read(next);
    if (!record) {
      return std::nullopt;
    }
    if (!HasBootSignature(*record)) {
      break;
    }
    const bool repeated = std::ranges::find(lbas, next) != lbas.end();
    lbas.push_back(next);
    if (repeated || !IsExtended(TypeOf(*record, 1))) {
      break;
    }
    next = base + StartOf(*record, 1);
  }
  return lbas;
}

bool HasRepeats(std::vector<std::uint32_t> values) {
  std::ranges::sort(values);
  return std::ranges::adjacent_find(values) != values.end();
}

}  // namespace corvane::fuzzing
