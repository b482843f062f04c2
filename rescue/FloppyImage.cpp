#include "rescue/FloppyImage.h"

#include <algorithm>

namespace corvane::rescue {
namespace {

// What a format writes into the first two FAT entries of a 1.44 MB floppy:
// the media descriptor, then the end-of-chain mark.
constexpr std::uint8_t kMediaDescriptor = 0xF0;
constexpr std::uint16_t kEndOfChain = 0xFFF;
constexpr std::uint8_t kArchiveAttribute = 0x20;

// A fixed time stamp (2026-12-08 12:00:00) keeps images of the same files identical.
constexpr std::uint16_t kFatDate = ((2026 - 1980) << 9U) | (12U << 5U) | 8U;
constexpr std::uint16_t kFatTime = 12U << 11U;

constexpr std::size_t kClusterSize =
    std::size_t{kStandardFloppyBpb.sectorsPerCluster} * kStandardFloppyBpb.bytesPerSector;

std::size_t SectorOffset(std::size_t sector) { return sector * disk::kSectorSize; }

void PutFat12Entry(std::span<std::uint8_t> fat, std::size_t cluster, std::uint16_t value) {
  const std::size_t at = Fat12EntryOffset(cluster);
  const std::uint16_t word = disk::LittleEndian16(fat, at);
  const std::uint16_t merged = (cluster % 2 == 0)
                                   ? static_cast<std::uint16_t>((word & 0xF000U) | value)
                                   : static_cast<std::uint16_t>((word & 0x000FU) | value << 4U);
  disk::PutLittleEndian16(fat, at, merged);
}

// The FAT of a fresh format with the kernel's chain of clusters clusters from 2 on.
std::vector<std::uint8_t> FatWithKernelChain(std::size_t clusters) {
  std::vector<std::uint8_t> fat(std::size_t{kStandardFloppyBpb.sectorsPerFat} * disk::kSectorSize);
  PutFat12Entry(fat, 0, 0xF00U | kMediaDescriptor);
  PutFat12Entry(fat, 1, kEndOfChain);
  for (std::size_t k = 0; k < clusters; ++k) {
    const std::size_t cluster = kFirstDataCluster + k;
    PutFat12Entry(fat, cluster,
                  k + 1 == clusters ? kEndOfChain : static_cast<std::uint16_t>(cluster + 1));
  }
  return fat;
}

void PutKernelDirectoryEntry(std::span<std::uint8_t> entry, std::size_t kernelSize) {
  std::copy_n(kKernelDirectoryName, sizeof kKernelDirectoryName - 1, entry.begin());
  entry[11] = kArchiveAttribute;
  disk::PutLittleEndian16(entry, 14, kFatTime);  // created
  disk::PutLittleEndian16(entry, 16, kFatDate);
  disk::PutLittleEndian16(entry, 18, kFatDate);  // last accessed
  disk::PutLittleEndian16(entry, 22, kFatTime);  // last written
  disk::PutLittleEndian16(entry, 24, kFatDate);
  // An empty file owns no cluster, as FAT has it.
  disk::PutLittleEndian16(entry, 26, kernelSize == 0 ? 0 : kFirstDataCluster);
  disk::PutLittleEndian32(entry, 28, static_cast<std::uint32_t>(kernelSize));
}

}  // namespace

std::optional<std::vector<std::uint8_t>> BuildFloppyImage(
    std::span<const std::uint8_t, disk::kSectorSize> bootSector,
    std::span<const std::uint8_t> kernel) {
  if (ReadFloppyBpb(bootSector) != kStandardFloppyBpb || kernel.size() > kKernelLoadLimit) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> image(kFloppyImageSize);
  std::ranges::copy(bootSector, image.begin());
  const std::size_t clusters = (kernel.size() + kClusterSize - 1) / kClusterSize;
  const std::vector<std::uint8_t> fat = FatWithKernelChain(clusters);
  for (std::size_t copy = 0; copy < kStandardFloppyBpb.fatCount; ++copy) {
    const std::size_t sector =
        kStandardFloppyBpb.reservedSectors + copy * kStandardFloppyBpb.sectorsPerFat;
    std::ranges::copy(fat, image.begin() + static_cast<std::ptrdiff_t>(SectorOffset(sector)));
  }
  PutKernelDirectoryEntry(
      std::span(image).subspan(SectorOffset(kStandardRootDirectorySector), kDirectoryEntrySize),
      kernel.size());
  std::ranges::copy(
      kernel, image.begin() + static_cast<std::ptrdiff_t>(SectorOffset(kFloppyDataStartSector)));
  return image;
}

}  // namespace corvane::rescue
