#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace corvane::disk {

// The smallest disk a rescue floppy's sectors fit on.
inline constexpr std::uint64_t kFloppyBytes = 1'474'560;

// A USB disk that may become a rescue stick, as the user is shown it.
struct UsbDrive {
  int drive = -1;  // the physical drive number
  std::string model;
  std::uint64_t bytes = 0;
  // The drive letters of the volumes on it, "E:" and so on.
  std::vector<std::string> letters;
  friend bool operator==(const UsbDrive&, const UsbDrive&) = default;
};

// The physical disks on the USB bus that a rescue disk may be written to: at
// least a floppy's size, never rescuedDrive, and never a disk that holds the
// Windows folder or the partition Windows booted from. When Windows does not
// tell on which disk its own volumes lie, no disk is safe to offer.
std::vector<UsbDrive> FindUsbDrives(platform::Platform& platform, int rescuedDrive);

// "MODEL (SIZE, E:, F:)": the drive as messages name it.
std::string UsbDriveText(const UsbDrive& stick);

// A size as USB drives are labelled: "983 MB", "7.9 GB" (decimal units).
std::string UsbSizeText(std::uint64_t bytes);

// The physical disks that the volume device lies on, or nothing when Windows
// does not tell.
std::optional<std::vector<int>> VolumeDisks(platform::Platform& platform,
                                            const std::string& volume);

// "\\.\E:", the volume device of a drive letter "E:".
std::string VolumeDeviceName(const std::string& letter);

}  // namespace corvane::disk
