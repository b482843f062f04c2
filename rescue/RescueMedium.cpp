#include "rescue/RescueMedium.h"

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

}  // namespace corvane::rescue
