#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace corvane::disk {

inline constexpr int kMaxListedDrives = 10;
inline constexpr int kSerialColumn = 1;
inline constexpr int kModelColumn = 2;
inline constexpr int kCapacityColumn = 3;

// The disk list as the enumeration fills it; the main dialog's list view
// implements it.
class DriveRows {
 public:
  DriveRows() = default;
  DriveRows(const DriveRows&) = delete;
  DriveRows& operator=(const DriveRows&) = delete;
  DriveRows(DriveRows&&) = delete;
  DriveRows& operator=(DriveRows&&) = delete;
  virtual ~DriveRows() = default;

  // Appends row n, named in column 0, showing the list's one disk icon.
  virtual void InsertRow(int row, const std::string& name) = 0;
  virtual void SetCell(int row, int column, const std::string& text) = 0;
};

// "%1.1f GB" of the whole number of 1,024,000,000-byte units the geometry
// holds: the figure always ends in .0.
std::string CapacityText(std::uint64_t cylinders, std::uint32_t tracksPerCylinder,
                         std::uint32_t sectorsPerTrack, std::uint32_t bytesPerSector);
// The same of a size in bytes, as disks without a geometry report it.
std::string CapacityText(std::uint64_t bytes);

// An open disk's size in bytes as its driver reports it (Windows XP and
// later), or nothing.
std::optional<std::uint64_t> DiskBytes(platform::Platform& platform, platform::DeviceHandle device);

// Adds a row for each physical disk from drive 0 up to the first that cannot
// be opened, at most kMaxListedDrives, with its name, serial and model numbers
// and capacity. A disk whose SMART interface names nothing is named by its
// storage driver; one without a geometry is sized by its length in bytes. A
// cell whose queries all fail stays empty.
void FillDriveList(platform::Platform& platform, DriveRows& rows);

}  // namespace corvane::disk
