#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <utility>
#include <vector>

#include "disk/Sector.h"
#include "platform/Platform.h"

namespace corvane::rescue {

// Where a rescue floppy's raw sectors go. It remembers what each successful
// write left in each sector, so that the floppy can be read back against it.
class RescueMedium {
 public:
  RescueMedium() = default;
  RescueMedium(const RescueMedium&) = delete;
  RescueMedium& operator=(const RescueMedium&) = delete;
  RescueMedium(RescueMedium&&) = delete;
  RescueMedium& operator=(RescueMedium&&) = delete;
  virtual ~RescueMedium() = default;

  // kResultOk or kResultFailed, after telling the user of a failure.
  int WriteSector(int sector, const disk::Sector& data);
  virtual int ReadSector(int sector, disk::Sector& data) = 0;

  [[nodiscard]] const std::map<int, disk::Sector>& WrittenSectors() const { return written; }

 protected:
  virtual int PutSector(int sector, const disk::Sector& data) = 0;

 private:
  std::map<int, disk::Sector> written;
};

// The floppy in drive A:, through its raw device.
class FloppyDrive final : public RescueMedium {
 public:
  explicit FloppyDrive(platform::Platform& platform) : platform(platform) {}
  int ReadSector(int sector, disk::Sector& data) override;

 protected:
  int PutSector(int sector, const disk::Sector& data) override;

 private:
  platform::Platform& platform;
};

// A floppy image in memory, built whole and saved as a file once complete.
class FloppyImageMedium final : public RescueMedium {
 public:
  explicit FloppyImageMedium(std::vector<std::uint8_t> image) : image(std::move(image)) {}
  int ReadSector(int sector, disk::Sector& data) override;
  [[nodiscard]] const std::vector<std::uint8_t>& Image() const { return image; }

 protected:
  int PutSector(int sector, const disk::Sector& data) override;

 private:
  // The sector's bytes, or an empty span for a sector beyond the image.
  std::span<std::uint8_t> SectorBytes(int sector);

  std::vector<std::uint8_t> image;
};

}  // namespace corvane::rescue
