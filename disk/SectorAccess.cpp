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

// A floppy drive often fails a transfer or two before the medium settles, so
// each is tried kFloppyAttempts times before the user is told. A partial
// transfer moves the file pointer, so every attempt positions afresh.
template <typename Byte, typename Move>
int TransferFloppySectors(Platform& platform, int sector, int count, std::span<Byte> buffer,
                          Access access, Move move, const char* failureMessage) {
  const auto region = TransferRegion(count, buffer);
  const UniqueDevice device =
      region && sector >= 0
          ? UniqueDevice(platform, platform.OpenDevice(kFloppyDeviceName, access, Share::None))
          : UniqueDevice(platform, platform::kInvalidDevice);
  if (!device.IsValid()) {
    platform.ShowApplicationMessage(failureMessage);
    return kResultFailed;
  }
  const std::uint64_t offset = static_cast<std::uint64_t>(sector) * kSectorSize;
  for (int attempt = 0; attempt < kFloppyAttempts; ++attempt) {
    if (!platform.SetPosition(device.Get(), offset)) {
      break;
    }
    if (move(platform, device, *region)) {
      return kResultOk;
    }
  }
  platform.ShowApplicationMessage(failureMessage);
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
  return TransferFloppySectors(platform, sector, count, buffer, Access::Write, WriteWhole,
                               kWriteFailureMessage);
}

int ReadFloppySectors(Platform& platform, int sector, int count, std::span<std::uint8_t> buffer) {
  return TransferFloppySectors(platform, sector, count, buffer, Access::Read, ReadWhole,
                               kFloppyReadFailureMessage);
}

}  // namespace corvane::disk
