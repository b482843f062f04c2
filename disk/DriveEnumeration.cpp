#include "disk/DriveEnumeration.h"

#include <array>
#include <limits>
#include <optional>

#include "disk/DriveIdentifier.h"
#include "disk/Sector.h"
#include "disk/SectorAccess.h"
#include "disk/StorageIdentity.h"

namespace corvane::disk {
namespace {

namespace layout = platform::device_control;

constexpr std::int64_t kCapacityUnit = 1'024'000'000;
constexpr std::size_t kTextCapacity = 256;

std::uint64_t LittleEndian64(std::span<const std::uint8_t> bytes, std::size_t at) {
  return LittleEndian32(bytes, at) | std::uint64_t{LittleEndian32(bytes, at + 4)} << 32U;
}

std::optional<std::string> GeometryCapacity(platform::Platform& platform,
                                            platform::DeviceHandle device) {
  std::array<std::uint8_t, layout::kGeometrySize> geometry{};
  std::uint32_t returned = 0;
  if (!platform.ControlDevice(device, layout::kDiskGetDriveGeometry, {}, geometry, returned)) {
    return std::nullopt;
  }
  return CapacityText(LittleEndian64(geometry, layout::kGeometryCylinders),
                      LittleEndian32(geometry, layout::kGeometryTracksPerCylinder),
                      LittleEndian32(geometry, layout::kGeometrySectorsPerTrack),
                      LittleEndian32(geometry, layout::kGeometryBytesPerSector));
}

// The signed 64-bit size at offset at of a reply to code, when the request
// succeeds, its reply reaches that far and the size is not negative.
std::optional<std::uint64_t> ReportedSize(platform::Platform& platform,
                                          platform::DeviceHandle device, std::uint32_t code,
                                          std::span<std::uint8_t> reply, std::size_t at) {
  std::uint32_t returned = 0;
  if (!platform.ControlDevice(device, code, {}, reply, returned) ||
      returned < at + sizeof(std::uint64_t) || returned > reply.size()) {
    return std::nullopt;
  }
  const std::uint64_t size = LittleEndian64(reply, at);
  if (size > std::numeric_limits<std::int64_t>::max()) {
    return std::nullopt;
  }
  return size;
}

// The geometry as the drive reports it; disks that have none, or whose
// drivers do not tell it, may still report their size in bytes.
std::optional<std::string> DiskCapacity(platform::Platform& platform,
                                        platform::DeviceHandle device) {
  if (auto text = GeometryCapacity(platform, device)) {
    return text;
  }
  if (const auto size = DiskBytes(platform, device)) {
    return CapacityText(*size);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> DiskBytes(platform::Platform& platform,
                                       platform::DeviceHandle device) {
  std::array<std::uint8_t, layout::kGeometryExReplySize> geometryEx{};
  if (const auto size = ReportedSize(platform, device, layout::kDiskGetDriveGeometryEx, geometryEx,
                                     layout::kGeometryExDiskSize)) {
    return size;
  }
  std::array<std::uint8_t, layout::kLengthInfoSize> lengthInfo{};
  return ReportedSize(platform, device, layout::kDiskGetLengthInfo, lengthInfo,
                      layout::kLengthInfoLength);
}

std::string CapacityText(std::uint64_t cylinders, std::uint32_t tracksPerCylinder,
                         std::uint32_t sectorsPerTrack, std::uint32_t bytesPerSector) {
  return CapacityText(std::uint64_t{tracksPerCylinder} * sectorsPerTrack * bytesPerSector *
                      cylinders);
}

std::string CapacityText(std::uint64_t bytes) {
  const std::int64_t units = static_cast<std::int64_t>(bytes) / kCapacityUnit;
  // Whole units only, so the one decimal of "%1.1f" is always 0.
  return std::to_string(units) + ".0 GB";
}

void FillDriveList(platform::Platform& platform, DriveRows& rows) {
  for (int drive = 0; drive < kMaxListedDrives; ++drive) {
    const platform::UniqueDevice device = OpenPhysicalDrive(platform, drive);
    if (!device.IsValid()) {
      return;
    }
    rows.InsertRow(drive, "Physical Disk " + std::to_string(drive));
    std::array<char, kTextCapacity> serial{};
    std::array<char, kTextCapacity> model{};
    DriveIdentifier(platform, drive).IdentifyDrive(serial, model);
    if (serial[0] == '\0' && model[0] == '\0') {
      const StorageIdentity identity = QueryStorageIdentity(platform, drive);
      CopyTextCut(serial, identity.serial);
      CopyTextCut(model, identity.model);
    }
    rows.SetCell(drive, kSerialColumn, serial.data());
    rows.SetCell(drive, kModelColumn, model.data());
    if (const auto capacity = DiskCapacity(platform, device.Get())) {
      rows.SetCell(drive, kCapacityColumn, *capacity);
    }
  }
}

}  // namespace corvane::disk
