#include "rescue/RescueMedium.h"

#include <algorithm>

#include "disk/SectorAccess.h"

namespace corvane::rescue {

int RescueMedium::WriteSector(int sector, const disk::Sector& data) {
  const int result = PutSector(sector, data);
  if (result == disk::kResultOk) {
    written[sector] = data;
  }
  return result;
}

int FloppyDrive::ReadSector(int sector, disk::Sector& data) {
  return disk::ReadFloppySectors(platform, sector, 1, data);
}

int FloppyDrive::PutSector(int sector, const disk::Sector& data) {
  return disk::WriteFloppySectors(platform, sector, 1, data);
}

std::span<std::uint8_t> FloppyImageMedium::SectorBytes(int sector) {
  const std::size_t sectors = image.size() / disk::kSectorSize;
  if (sector < 0 || static_cast<std::size_t>(sector) >= sectors) {
    return {};
  }
  return std::span(image).subspan(static_cast<std::size_t>(sector) * disk::kSectorSize,
                                  disk::kSectorSize);
}

int FloppyImageMedium::ReadSector(int sector, disk::Sector& data) {
  const auto bytes = SectorBytes(sector);
  if (bytes.empty()) {
    return disk::kResultFailed;
  }
  std::ranges::copy(bytes, data.begin());
  return disk::kResultOk;
}

int FloppyImageMedium::PutSector(int sector, const disk::Sector& data) {
  const auto bytes = SectorBytes(sector);
  if (bytes.empty()) {
    return disk::kResultFailed;
  }
  std::ranges::copy(data, bytes.begin());
  return disk::kResultOk;
}

}  // namespace corvane::rescue
