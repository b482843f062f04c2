#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace corvane::disk {

inline constexpr std::size_t kSectorSize = 512;
using Sector = std::array<std::uint8_t, kSectorSize>;

// Result codes shared by the sector, chain and rescue operations.
inline constexpr int kResultOk = 0;
inline constexpr int kResultFailed = -1;
inline constexpr int kResultNoBootSignature = -2;

}  // namespace corvane::disk
