#pragma once

#include <cstdint>
#include <span>

#include "disk/Sector.h"
#include "partition/PartitionTable.h"
#include "platform/Platform.h"

namespace corvane::partition {

// An LBA and the sector read from it, as the rescue disk stores it.
struct SectorRecord {
  std::uint32_t lba;
  disk::Sector data;
};

// Copies length bytes from the front of source to the front of destination;
// nothing when length is not positive, never more than either side holds.
void CopySector(std::span<std::uint8_t> destination, std::span<const std::uint8_t> source,
                int length);

// Reads the master boot record and walks the chain of extended boot records of
// one disk. Results are kResultOk, kResultFailed (a read failed),
// kResultNoBootSignature or kResultNoRecord (no extended partition, or the
// chain ends here).
// It never writes to the disk and does not notice a chain that loops: limiting
// the walk is the caller's business.
class BootRecordReader {
 public:
  BootRecordReader(platform::Platform& platform, int driveNumber);
  BootRecordReader(const BootRecordReader&) = delete;
  BootRecordReader& operator=(const BootRecordReader&) = delete;
  BootRecordReader(BootRecordReader&&) = delete;
  BootRecordReader& operator=(BootRecordReader&&) = delete;
  virtual ~BootRecordReader() = default;

  int ReadMasterBootRecord(SectorRecord& out);
  // Finds the first extended entry of the MBR and hands out the EBR it starts at.
  int ReadFirstExtendedRecord(SectorRecord& out);
  // Follows the link of the EBR handed out last; only after a kResultOk.
  int ReadNextExtendedRecord(SectorRecord& out);

 private:
  int ReadWorkingSector(std::uint32_t lba);
  int HandOutWorkingSector(std::uint32_t lba, SectorRecord& out);

  disk::Sector workingSector{};
  std::uint32_t extendedBase = 0;
  int driveNumber;
  platform::Platform& platform;
};

}  // namespace corvane::partition
