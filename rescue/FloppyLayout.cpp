#include "rescue/FloppyLayout.h"

#include <algorithm>

#include "rescue/ControlBuffer.h"

namespace corvane::rescue {
namespace {

unsigned LittleEndian16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return unsigned{bytes[at]} | unsigned{bytes[at + 1]} << 8U;
}

}  // namespace

int FirstRootDirectorySector(std::span<const std::uint8_t, disk::kSectorSize> bootSector) {
  const unsigned bytesPerSector = LittleEndian16(bootSector, 11);
  const unsigned reservedSectors = LittleEndian16(bootSector, 14);
  const unsigned fatCount = bootSector[16];
  const unsigned sectorsPerFat = LittleEndian16(bootSector, 22);
  const bool usable = bytesPerSector == disk::kSectorSize && (fatCount == 1 || fatCount == 2) &&
                      reservedSectors >= 1 && sectorsPerFat >= 1;
  if (!usable) {
    return kStandardRootDirectorySector;
  }
  return static_cast<int>(reservedSectors + fatCount * sectorsPerFat);
}

int ExtendedRecordRoom(int firstRootDirectorySector) {
  return std::max(0, firstRootDirectorySector - (kMasterBootRecordFloppySector + 1));
}

}  // namespace corvane::rescue
