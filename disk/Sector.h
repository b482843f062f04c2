#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace corvane::disk {

inline constexpr std::size_t kSectorSize = 512;
using Sector = std::array<std::uint8_t, kSectorSize>;

// Result codes shared by the sector, chain and rescue operations.
inline constexpr int kResultOk = 0;
inline constexpr int kResultFailed = -1;
inline constexpr int kResultNoBootSignature = -2;
// The record looked for does not exist: how a walk ends, told apart from a
// read that failed.
inline constexpr int kResultNoRecord = -3;

// The unsigned 16-bit value stored least significant byte first at offset at.
inline std::uint16_t LittleEndian16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8U);
}

// The unsigned 32-bit value stored least significant byte first at offset at.
inline std::uint32_t LittleEndian32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8U |
         std::uint32_t{bytes[at + 2]} << 16U | std::uint32_t{bytes[at + 3]} << 24U;
}

// Stores value least significant byte first at offset at.
inline void PutLittleEndian16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8U);
}

// Stores value least significant byte first at offset at.
inline void PutLittleEndian32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t k = 0; k < 4; ++k) {
    bytes[at + k] = static_cast<std::uint8_t>(value >> (8U * k));
  }
}

}  // namespace corvane::disk
