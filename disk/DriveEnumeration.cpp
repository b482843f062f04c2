#include "disk/DriveEnumeration.h"

#include <array>

#include "disk/DriveIdentifier.h"
#include "disk/Sector.h"
#include "disk/SectorAccess.h"

namespace corvane::disk {
namespace {

namespace layout = platform::device_control;

constexpr std::int64_t kCapacityUnit = 1'024'000'000;
constexpr std::size_t kTextCapacity = 256;

// Column 3 stays empty when the disk does not report its geometry.
void FillCapacity(platform::Platform& platform, const platform::UniqueDevice& device, int row,
                  DriveRows& rows) {
  std::array<std::uint8_t, layout::kGeometrySize> geometry{};
  std::uint32_t returned = 0;
  if (!platform.ControlDevice(device.Get(), layout::kDiskGetDriveGeometry, {}, geometry,
                              returned)) {
    return;
  }
  const std::uint64_t cylinders =
      LittleEndian32(geometry, layout::kGeometryCylinders) |
      std::uint64_t{LittleEndian32(geometry, layout::kGeometryCylinders + 4)} << 32U;
  rows.SetCell(row, kCapacityColumn,
               CapacityText(cylinders, LittleEndian32(geometry, layout::kGeometryTracksPerCylinder),
                            LittleEndian32(geometry, layout::kGeometrySectorsPerTrack),
                            LittleEndian32(geometry, layout::kGeometryBytesPerSector)));
}

}  // namespace

std::string CapacityText(std::uint64_t cylinders, std::uint32_t tracksPerCylinder,
                         std::uint32_t sectorsPerTrack, std::uint32_t bytesPerSector) {
  const std::uint64_t bytes =
      std::uint64_t{tracksPerCylinder} * sectorsPerTrack * bytesPerSector * cylinders;
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
    rows.SetCell(drive, kSerialColumn, serial.data());
    rows.SetCell(drive, kModelColumn, model.data());
    FillCapacity(platform, device, drive, rows);
  }
}

}  // namespace corvane::disk
