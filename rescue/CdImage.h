#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace corvane::rescue {

inline constexpr std::size_t kCdSectorSize = 2048;

// A minimal ISO 9660 volume (level 1) that holds floppyImage, a 1.44 MB
// floppy, as its El Torito boot image with floppy emulation and, in the same
// sectors, as the file RESCUE.IMG in its root directory, so that a BIOS boots
// the floppy from a CD and a user can still reach the image itself.
std::vector<std::uint8_t> BuildCdImage(std::span<const std::uint8_t> floppyImage);

}  // namespace corvane::rescue
