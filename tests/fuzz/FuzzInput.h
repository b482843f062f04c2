#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "disk/Sector.h"

namespace corvane::fuzzing {

// Hands out a fuzz input front to back; once it runs out every value is 0, so
// any input, however short, describes a complete case. make-seeds.py writes
// the same layout.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : rest(data, size) {}

  std::uint8_t Byte() {
    if (rest.empty()) {
      return 0;
    }
    const std::uint8_t value = rest.front();
    rest = rest.subspan(1);
    return value;
  }

  std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | Byte() << 8U); }

  std::uint32_t Long() { return Word() | std::uint32_t{Word()} << 16U; }

  // Up to count bytes; fewer at the end of the input.
  std::span<const std::uint8_t> Bytes(std::size_t count) {
    const auto taken = rest.first(std::min(count, rest.size()));
    rest = rest.subspan(taken.size());
    return taken;
  }

  [[nodiscard]] bool Empty() const { return rest.empty(); }

 private:
  std::span<const std::uint8_t> rest;
};

// Where a boot record's partition table starts: a sector is given as one fill
// byte for everything before it, then the 66 bytes from there to the end, so
// that mutations land on what the chain walks read.
inline constexpr std::size_t kSectorTailOffset = 446;

inline disk::Sector SectorFrom(FuzzInput& input) {
  disk::Sector sector{};
  std::fill_n(sector.begin(), kSectorTailOffset, input.Byte());
  std::ranges::copy(input.Bytes(disk::kSectorSize - kSectorTailOffset),
                    sector.begin() + kSectorTailOffset);
  return sector;
}

}  // namespace corvane::fuzzing
