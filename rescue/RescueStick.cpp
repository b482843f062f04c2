#include "rescue/RescueStick.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "disk/Sector.h"
#include "disk/SectorAccess.h"
#include "platform/DeviceControl.h"
#include "platform/UniqueDevice.h"
#include "rescue/RescueSteps.h"

namespace corvane::rescue {
namespace {

namespace layout = platform::device_control;
using platform::UniqueDevice;

// Large enough for a stick's speed, small enough to show progress soon.
constexpr std::size_t kChunkBytes = std::size_t{64} * 1024;
// Explorer and indexers open a new volume for a moment; the lock waits for them.
constexpr int kLockAttempts = 5;
constexpr unsigned kLockRetryMs = 500;

// One stretch of the stick: the rescue floppy's bytes, or zeros when empty.
struct Region {
  std::uint64_t offset;
  std::uint64_t size;
  std::span<const std::uint8_t> bytes;
};

// The image from the first sector, then the last whole sectors of the stick
// up to kStickTailBytes, where they lie beyond the image.
std::vector<Region> RegionsToWrite(std::uint64_t stickBytes, std::span<const std::uint8_t> image) {
  std::vector<Region> regions{{0, image.size(), image}};
  const std::uint64_t end = stickBytes / disk::kSectorSize * disk::kSectorSize;
  const std::uint64_t tail =
      std::max<std::uint64_t>(image.size(), end - std::min(end, kStickTailBytes)) /
      disk::kSectorSize * disk::kSectorSize;
  if (tail < end) {
    regions.push_back({tail, end - tail, {}});
  }
  return regions;
}

std::string NoLongerThere(const disk::UsbDrive& stick) {
  return "The USB drive " + disk::UsbDriveText(stick) +
         " was removed, or Windows no longer finds it." + kNoRescueDisk;
}

bool Removed(StatusSink& sink, const disk::UsbDrive& stick) {
  return Fail(sink, "Failed :: USB drive removed !", NoLongerThere(stick));
}

bool InUse(StatusSink& sink, const disk::UsbDrive& stick, const std::string& what) {
  return Fail(sink, "Failed :: USB drive in use !",
              what + " on the USB drive " + disk::UsbDriveText(stick) +
                  " is in use.\nClose the files, windows and programs that use it, then try "
                  "again." +
                  kNoRescueDisk);
}

bool WriteFailed(StatusSink& sink, const disk::UsbDrive& stick) {
  return Fail(sink, "Failed :: Error writing USB drive !",
              "The application failed to write to the USB drive " + disk::UsbDriveText(stick) +
                  " !\nIt may be write-protected or faulty." + kNoRescueDisk);
}

bool ReadBackDiffers(StatusSink& sink, const disk::UsbDrive& stick) {
  return Fail(sink, "Failed :: Rescue disk verification failed !",
              "The USB drive " + disk::UsbDriveText(stick) +
                  " did not read back what was written to it.\nIt may be faulty, or smaller "
                  "than it claims to be." +
                  kNoRescueDisk);
}

bool Present(platform::Platform& platform, int drive) {
  return UniqueDevice(platform,
                      platform.OpenDevice(disk::PhysicalDriveName(drive), platform::Access::None,
                                          platform::Share::ReadWrite))
      .IsValid();
}

// The stick as Windows lists it now, when it is still the one the user chose:
// the same number, model and size, and still a disk that may be written.
std::optional<disk::UsbDrive> StickAsChosen(platform::Platform& platform, int rescuedDrive,
                                            const disk::UsbDrive& stick) {
  std::vector<disk::UsbDrive> sticks = disk::FindUsbDrives(platform, rescuedDrive);
  const auto same = std::ranges::find_if(sticks, [&stick](const disk::UsbDrive& now) {
    return now.drive == stick.drive && now.model == stick.model && now.bytes == stick.bytes;
  });
  if (same == sticks.end()) {
    return std::nullopt;
  }
  return std::move(*same);
}

// A handle that keeps the volume locked, invalid when it cannot be locked.
UniqueDevice LockVolume(platform::Platform& platform, const std::string& letter) {
  UniqueDevice volume(
      platform, platform.OpenDevice(disk::VolumeDeviceName(letter), platform::Access::ReadWrite,
                                    platform::Share::ReadWrite));
  std::uint32_t returned = 0;
  for (int attempt = 0; volume.IsValid() && attempt < kLockAttempts; ++attempt) {
    if (attempt > 0) {
      platform.Sleep(kLockRetryMs);
    }
    if (platform.ControlDevice(volume.Get(), layout::kLockVolume, {}, {}, returned)) {
      // Unmounted, the file system drops what it cached of the volume and
      // cannot write it back over the rescue disk.
      platform.ControlDevice(volume.Get(), layout::kDismountVolume, {}, {}, returned);
      return volume;
    }
  }
  return {platform, platform::kInvalidDevice};
}

bool WriteRegion(platform::Platform& platform, const UniqueDevice& disk, const Region& region,
                 std::span<const std::uint8_t> zeros) {
  for (std::uint64_t done = 0; done < region.size; done += kChunkBytes) {
    const std::size_t size =
        static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, region.size - done));
    const std::span<const std::uint8_t> bytes =
        region.bytes.empty() ? zeros.first(size)
                             : region.bytes.subspan(static_cast<std::size_t>(done), size);
    std::size_t transferred = 0;
    if (!platform.SetPosition(disk.Get(), region.offset + done) ||
        !platform.WriteDevice(disk.Get(), bytes, transferred) || transferred != size) {
      return false;
    }
  }
  return true;
}

bool RegionReadsBack(platform::Platform& platform, const UniqueDevice& disk, const Region& region,
                     std::vector<std::uint8_t>& buffer) {
  for (std::uint64_t done = 0; done < region.size; done += kChunkBytes) {
    const std::size_t size =
        static_cast<std::size_t>(std::min<std::uint64_t>(kChunkBytes, region.size - done));
    const std::span<std::uint8_t> read = std::span(buffer).first(size);
    std::size_t transferred = 0;
    if (!platform.SetPosition(disk.Get(), region.offset + done) ||
        !platform.ReadDevice(disk.Get(), read, transferred) || transferred != size) {
      return false;
    }
    const bool same =
        region.bytes.empty()
            ? std::ranges::all_of(read, [](std::uint8_t b) { return b == 0; })
            : std::ranges::equal(read, region.bytes.subspan(static_cast<std::size_t>(done), size));
    if (!same) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string EraseQuestion(const disk::UsbDrive& stick) {
  return "All data on the USB drive " + disk::UsbDriveText(stick) +
         " will be erased.\nWrite the rescue disk to it?";
}

bool WriteRescueStick(platform::Platform& platform, StatusSink& sink, int rescuedDrive,
                      const disk::UsbDrive& stick, std::span<const std::uint8_t> image) {
  sink.SetStatus("Writing USB Drive...");
  // Sticks come and go while the user reads the question: the number chosen
  // may belong to another one by now.
  const auto current = StickAsChosen(platform, rescuedDrive, stick);
  return current ? WriteStickImage(platform, sink, *current, image) : Removed(sink, stick);
}

bool WriteStickImage(platform::Platform& platform, StatusSink& sink, const disk::UsbDrive& stick,
                     std::span<const std::uint8_t> image) {
  std::vector<UniqueDevice> locks;
  for (const std::string& letter : stick.letters) {
    locks.push_back(LockVolume(platform, letter));
    if (!locks.back().IsValid()) {
      return Present(platform, stick.drive) ? InUse(sink, stick, "The volume " + letter)
                                            : Removed(sink, stick);
    }
  }
  const UniqueDevice disk(platform,
                          platform.OpenDevice(disk::PhysicalDriveName(stick.drive),
                                              platform::Access::ReadWrite, platform::Share::None));
  if (!disk.IsValid()) {
    return Present(platform, stick.drive) ? InUse(sink, stick, "The disk") : Removed(sink, stick);
  }
  const std::vector<Region> regions = RegionsToWrite(stick.bytes, image);
  const std::vector<std::uint8_t> zeros(kChunkBytes);
  const auto written = [&](const Region& region) {
    return WriteRegion(platform, disk, region, zeros);
  };
  if (!std::ranges::all_of(regions, written)) {
    return Present(platform, stick.drive) ? WriteFailed(sink, stick) : Removed(sink, stick);
  }
  sink.SetStatus("Verifying Rescue Disk...");
  std::vector<std::uint8_t> buffer(kChunkBytes);
  const auto readsBack = [&](const Region& region) {
    return RegionReadsBack(platform, disk, region, buffer);
  };
  if (!std::ranges::all_of(regions, readsBack)) {
    return Present(platform, stick.drive) ? ReadBackDiffers(sink, stick) : Removed(sink, stick);
  }
  // Windows still holds the old partition layout; the rescue disk has none.
  std::uint32_t returned = 0;
  platform.ControlDevice(disk.Get(), layout::kDiskUpdateProperties, {}, {}, returned);
  return true;
}

std::string StickAdvice(const disk::UsbDrive& stick) {
  return "The rescue disk was written to the USB drive " + disk::UsbDriveText(stick) +
         ".\n\nKeep the stick with this PC. When the partitions of this disk are damaged, plug "
         "the stick in and boot the PC from it: choose it in the boot menu that the PC offers "
         "at power-on (often on F12, F11 or Esc).";
}

}  // namespace corvane::rescue
