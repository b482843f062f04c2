#include "disk/UsbDrives.h"

#include <map>
#include <set>

#include "disk/DriveEnumeration.h"
#include "disk/Sector.h"
#include "disk/SectorAccess.h"
#include "disk/StorageIdentity.h"
#include "platform/DeviceControl.h"
#include "platform/UniqueDevice.h"

namespace corvane::disk {
namespace {

namespace layout = platform::device_control;

// A: and B: belong to floppy drives, which Windows may try to spin up.
constexpr char kFirstVolumeLetter = 'C';
constexpr char kLastVolumeLetter = 'Z';
constexpr std::uint64_t kMegabyte = 1'000'000;
constexpr std::uint64_t kTenthGigabyte = 100'000'000;

// The disks that Windows itself lies on, or nothing when it does not say.
std::optional<std::set<int>> SystemDisks(platform::Platform& platform) {
  const std::vector<std::string> volumes = platform.SystemVolumes();
  if (volumes.empty()) {
    return std::nullopt;
  }
  std::set<int> disks;
  for (const std::string& volume : volumes) {
    const auto volumeDisks = VolumeDisks(platform, volume);
    if (!volumeDisks) {
      return std::nullopt;
    }
    disks.insert(volumeDisks->begin(), volumeDisks->end());
  }
  return disks;
}

std::map<int, std::vector<std::string>> LettersByDisk(platform::Platform& platform) {
  std::map<int, std::vector<std::string>> letters;
  for (char letter = kFirstVolumeLetter; letter <= kLastVolumeLetter; ++letter) {
    const std::string name{letter, ':'};
    for (const int disk :
         VolumeDisks(platform, VolumeDeviceName(name)).value_or(std::vector<int>{})) {
      letters[disk].push_back(name);
    }
  }
  return letters;
}

// The drive as a rescue stick, when it is a USB disk large enough for one.
std::optional<UsbDrive> UsbDriveAt(platform::Platform& platform, int drive) {
  const std::vector<std::uint8_t> descriptor = QueryStorageDescriptor(platform, drive);
  if (!IsUsbDescriptor(descriptor)) {
    return std::nullopt;
  }
  const platform::UniqueDevice device = OpenPhysicalDrive(platform, drive);
  const auto bytes = device.IsValid() ? DiskBytes(platform, device.Get()) : std::nullopt;
  if (!bytes || *bytes < kFloppyBytes) {
    return std::nullopt;
  }
  return UsbDrive{drive, IdentityFromDescriptor(descriptor).model, *bytes, {}};
}

}  // namespace

std::optional<std::vector<int>> VolumeDisks(platform::Platform& platform,
                                            const std::string& volume) {
  const platform::UniqueDevice device(
      platform, platform.OpenDevice(volume, platform::Access::None, platform::Share::ReadWrite));
  std::vector<std::uint8_t> reply(layout::kExtentsReplySize);
  std::uint32_t returned = 0;
  if (!device.IsValid() ||
      !platform.ControlDevice(device.Get(), layout::kVolumeGetDiskExtents, {}, reply, returned) ||
      returned < layout::kExtentsFirst || returned > reply.size()) {
    return std::nullopt;
  }
  const std::uint32_t count = LittleEndian32(reply, layout::kExtentsCount);
  if (count == 0 || count > (returned - layout::kExtentsFirst) / layout::kExtentSize) {
    return std::nullopt;
  }
  std::vector<int> disks;
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::size_t extent = layout::kExtentsFirst + k * layout::kExtentSize;
    disks.push_back(static_cast<int>(LittleEndian32(reply, extent + layout::kExtentDiskNumber)));
  }
  return disks;
}

std::string VolumeDeviceName(const std::string& letter) { return "\\\\.\\" + letter; }

std::vector<UsbDrive> FindUsbDrives(platform::Platform& platform, int rescuedDrive) {
  const auto systemDisks = SystemDisks(platform);
  if (!systemDisks) {
    return {};
  }
  std::vector<UsbDrive> sticks;
  // Numbers stay taken by disks that were removed, so a gap ends nothing.
  for (int drive = 0; drive < kMaxListedDrives; ++drive) {
    if (drive == rescuedDrive || systemDisks->contains(drive)) {
      continue;
    }
    if (auto stick = UsbDriveAt(platform, drive)) {
      sticks.push_back(std::move(*stick));
    }
  }
  if (!sticks.empty()) {
    auto letters = LettersByDisk(platform);
    for (UsbDrive& stick : sticks) {
      stick.letters = std::move(letters[stick.drive]);
    }
  }
  return sticks;
}

std::string UsbSizeText(std::uint64_t bytes) {
  if (bytes < 10 * kTenthGigabyte) {
    return std::to_string(bytes / kMegabyte) + " MB";
  }
  const std::uint64_t tenths = bytes / kTenthGigabyte;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " GB";
}

std::string UsbDriveText(const UsbDrive& stick) {
  std::string text = stick.model.empty() ? "(" : stick.model + " (";
  text += UsbSizeText(stick.bytes);
  for (const std::string& letter : stick.letters) {
    text += ", " + letter;
  }
  return text + ")";
}

}  // namespace corvane::disk
