#include "disk/SectorAccess.h"

#include <optional>

namespace corvane::disk {
namespace {

using platform::Access;
using platform::Platform;
using platform::Share;
using platform::UniqueDevice;

// The bytes of buffer that count sectors occupy, or nothing when count is not
// positive or the buffer is too small for it.
template <typename Byte>
std::optional<std::span<Byte>> TransferRegion(int count, std::span<Byte> buffer) {
  if (count < 1 || buffer.size() / kSectorSize < static_cast<std::size_t>(count)) {
    return std::nullopt;
  }
  return buffer.first(static_cast<std::size_t>(count) * kSectorSize);
}

bool ReadWhole(Platform& platform, const UniqueDevice& device, std::span<std::uint8_t> region) {
  std::size_t transferred = 0;
  return platform.ReadDevice(device.Get(), region, transferred) && transferred == region.size();
}

bool WriteWhole(Platform& platform, const UniqueDevice& device,
                std::span<const std::uint8_t> region) {
  std::size_t transferred = 0;
  return platform.WriteDevice(device.Get(), region, transferred) && transferred == region.size();
}

int ReportReadFailure(Platform& platform) {
  platform.ShowApplicationMessage(kReadFailureMessage);
  return kResultFailed;
}

int ReportWriteFailure(Platform& platform) {
  platform.ShowApplicationMessage(kWriteFailureMessage);
  return kResultFailed;
}

}  // namespace

std::string PhysicalDriveName(int drive) {
  std::string name = "\\\\.\\PhysicalDrive0";
  name.back() = static_cast<char>(static_cast<unsigned char>(name.back()) +
                                  static_cast<unsigned char>(drive & 0xFF));
  return name;
}

UniqueDevice OpenPhysicalDrive(Platform& platform, int drive) {
  return {platform, platform.OpenDevice(PhysicalDriveName(drive), Access::Read, Share::ReadWrite)};
}

int ReadDriveSectors(Platform& platform, int drive, std::uint32_t lba, int count,
                     std::span<std::uint8_t> buffer) {
  const auto region = TransferRegion(count, buffer);
  if (!region) {
    return ReportReadFailure(platform);
  }
  const UniqueDevice device = OpenPhysicalDrive(platform, drive);
  if (!device.IsValid()) {
    return ReportReadFailure(platform);
  }
  // Reading at the wrong position would copy the wrong sector onto the rescue
  // disk, so a failed move ends the read.
  const std::uint64_t offset = std::uint64_t{lba} * kSectorSize;
  if (!platform.SetPosition(device.Get(), offset) || !ReadWhole(platform, device, *region)) {
    return ReportReadFailure(platform);
  }
  return kResultOk;
}

int WriteFloppySectors(Platform& platform, int sector, int count,
                       std::span<const std::uint8_t> buffer) {
  const auto region = TransferRegion(count, buffer);
  if (!region || sector < 0) {
    return ReportWriteFailure(platform);
  }
  const UniqueDevice device(platform,
                            platform.OpenDevice(kFloppyDeviceName, Access::Write, Share::None));
  if (!device.IsValid()) {
    return ReportWriteFailure(platform);
  }
  // A floppy drive often fails a write or two before the medium settles. A
  // partial write moves the file pointer, so every attempt positions afresh.
  const std::uint64_t offset = static_cast<std::uint64_t>(sector) * kSectorSize;
  for (int attempt = 0; attempt < kFloppyWriteAttempts; ++attempt) {
    if (!platform.SetPosition(device.Get(), offset)) {
      return ReportWriteFailure(platform);
    }
    if (WriteWhole(platform, device, *region)) {
      return kResultOk;
    }
  }
  return ReportWriteFailure(platform);
}

}  // namespace corvane::disk
