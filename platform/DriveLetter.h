#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane::platform {

// GetDriveType's answers for a drive's root.
enum class DriveType : std::uint8_t {
  Unknown = 0,
  NoRootDirectory = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6,
};

// Whether a drive letter is a floppy drive, from the drive's type and the
// device that QueryDosDevice finds behind the letter, when it finds one. A
// letter can name a network share, a subst folder or a USB stick's volume as
// well; only a letter that Windows cannot place counts as a floppy drive
// without proof, as Wine's mapped drives are.
inline bool IsFloppyDriveLetter(DriveType type, std::optional<std::string_view> device) {
  if (type == DriveType::NoRootDirectory || type == DriveType::Remote || type == DriveType::CdRom ||
      type == DriveType::RamDisk) {
    return false;
  }
  if (!device) {
    return true;
  }
  constexpr std::string_view kFloppyDevice = "\\Device\\Floppy";
  return device->size() >= kFloppyDevice.size() &&
         std::equal(kFloppyDevice.begin(), kFloppyDevice.end(), device->begin(),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) ==
                             std::tolower(static_cast<unsigned char>(b));
                    });
}

}  // namespace corvane::platform
