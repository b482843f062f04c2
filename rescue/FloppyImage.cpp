#include "rescue/FloppyImage.h"

#include <algorithm>
#include <numeric>

namespace corvane::rescue {
namespace {

// What a format writes into the first two FAT entries of a 1.44 MB floppy:
// the media descriptor, then the end-of-chain mark.
constexpr std::uint8_t kMediaDescriptor = 0xF0;
constexpr std::uint16_t kEndOfChain = 0xFFF;
constexpr std::uint8_t kArchiveAttribute = 0x20;
constexpr char kSelfName[] = ".          ";
constexpr char kParentName[] = "..         ";

// A fixed time stamp (2026-12-08 12:00:00) keeps images of the same files identical.
constexpr std::uint16_t kFatDate = ((2026 - 1980) << 9U) | (12U << 5U) | 8U;
constexpr std::uint16_t kFatTime = 12U << 11U;

constexpr std::size_t kClusterSize =
    std::size_t{kStandardFloppyBpb.sectorsPerCluster} * kStandardFloppyBpb.bytesPerSector;

std::size_t SectorOffset(std::size_t sector) { return sector * disk::kSectorSize; }

std::size_t ClustersFor(std::size_t size) { return (size + kClusterSize - 1) / kClusterSize; }

void PutFat12Entry(std::span<std::uint8_t> fat, std::size_t cluster, std::uint16_t value) {
  const std::size_t at = Fat12EntryOffset(cluster);
  const std::uint16_t word = disk::LittleEndian16(fat, at);
  const std::uint16_t merged = (cluster % 2 == 0)
                                   ? static_cast<std::uint16_t>((word & 0xF000U) | value)
                                   : static_cast<std::uint16_t>((word & 0x000FU) | value << 4U);
  disk::PutLittleEndian16(fat, at, merged);
}

// A fresh format's floppy, filled file by file as Windows fills a clean one:
// each file or directory takes the clusters after the previous one.
class FloppyBuilder {
 public:
  explicit FloppyBuilder(std::span<const std::uint8_t, disk::kSectorSize> bootSector)
      : image(kFloppyImageSize),
        fat(std::size_t{kStandardFloppyBpb.sectorsPerFat} * disk::kSectorSize) {
    std::ranges::copy(bootSector, image.begin());
    PutFat12Entry(fat, 0, 0xF00U | kMediaDescriptor);
    PutFat12Entry(fat, 1, kEndOfChain);
  }

  // Takes the next clusters for size bytes (none for an empty file), chains
  // them and copies bytes there; the first cluster, or 0 for none.
  std::size_t Allocate(std::size_t size, std::span<const std::uint8_t> bytes = {}) {
    const std::size_t clusters = ClustersFor(size);
    if (next + clusters > kReachableClusters) {
      fits = false;
      return 0;
    }
    const std::size_t first = clusters == 0 ? 0 : next;
    for (std::size_t k = 0; k < clusters; ++k) {
      PutFat12Entry(fat, next + k,
                    k + 1 == clusters ? kEndOfChain : static_cast<std::uint16_t>(next + k + 1));
    }
    std::ranges::copy(bytes, image.begin() + static_cast<std::ptrdiff_t>(ClusterOffset(first)));
    next += clusters;
    return first;
  }

  // The entry slot of a directory: the root (cluster 0) or a one-cluster one.
  std::span<std::uint8_t> Entry(std::size_t directoryCluster, std::size_t slot) {
    const std::size_t start = directoryCluster == 0 ? SectorOffset(kStandardRootDirectorySector)
                                                    : ClusterOffset(directoryCluster);
    return std::span(image).subspan(start + slot * kDirectoryEntrySize, kDirectoryEntrySize);
  }

  [[nodiscard]] bool Fits() const { return fits; }

  std::vector<std::uint8_t> Finish() {
    for (std::size_t copy = 0; copy < kStandardFloppyBpb.fatCount; ++copy) {
      const std::size_t sector =
          kStandardFloppyBpb.reservedSectors + copy * kStandardFloppyBpb.sectorsPerFat;
      std::ranges::copy(fat, image.begin() + static_cast<std::ptrdiff_t>(SectorOffset(sector)));
    }
    return std::move(image);
  }

 private:
  static std::size_t ClusterOffset(std::size_t cluster) {
    return SectorOffset(kFloppyDataStartSector) +
           (cluster < kFirstDataCluster ? 0 : (cluster - kFirstDataCluster) * kClusterSize);
  }

  std::vector<std::uint8_t> image;
  std::vector<std::uint8_t> fat;
  std::size_t next = kFirstDataCluster;
  bool fits = true;
};

void PutDirectoryEntry(std::span<std::uint8_t> entry, std::string_view name, std::uint8_t attribute,
                       std::size_t cluster, std::size_t size) {
  std::ranges::copy(name, entry.begin());
  entry[kDirectoryEntryAttribute] = attribute;
  disk::PutLittleEndian16(entry, 14, kFatTime);  // created
  disk::PutLittleEndian16(entry, 16, kFatDate);
  disk::PutLittleEndian16(entry, 18, kFatDate);  // last accessed
  disk::PutLittleEndian16(entry, 22, kFatTime);  // last written
  disk::PutLittleEndian16(entry, 24, kFatDate);
  disk::PutLittleEndian16(entry, kDirectoryEntryFirstCluster, static_cast<std::uint16_t>(cluster));
  disk::PutLittleEndian32(entry, kDirectoryEntryFileSize, static_cast<std::uint32_t>(size));
}

// A new directory in parent, holding its "." and ".." entries; its cluster.
std::size_t MakeDirectory(FloppyBuilder& floppy, std::size_t parent, std::size_t slot,
                          std::string_view name) {
  const std::size_t cluster = floppy.Allocate(kClusterSize);
  PutDirectoryEntry(floppy.Entry(parent, slot), name, kDirectoryAttribute, cluster, 0);
  PutDirectoryEntry(floppy.Entry(cluster, 0), kSelfName, kDirectoryAttribute, cluster, 0);
  PutDirectoryEntry(floppy.Entry(cluster, 1), kParentName, kDirectoryAttribute, parent, 0);
  return cluster;
}

std::string_view EntryName(const char (&name)[12]) { return {name, sizeof name - 1}; }

}  // namespace

std::size_t RescueFileClusters(std::size_t kernelSize, std::span<const std::size_t> bootFileSizes) {
  std::size_t clusters = ClustersFor(kernelSize);
  if (!bootFileSizes.empty()) {
    clusters += 2;
  }
  return std::accumulate(bootFileSizes.begin(), bootFileSizes.end(), clusters,
                         [](std::size_t sum, std::size_t size) { return sum + ClustersFor(size); });
}

std::optional<std::vector<std::uint8_t>> BuildFloppyImage(
    std::span<const std::uint8_t, disk::kSectorSize> bootSector,
    std::span<const std::uint8_t> kernel, std::span<const BootFile> bootFiles) {
  if (ReadFloppyBpb(bootSector) != kStandardFloppyBpb || kernel.size() > kKernelLoadLimit) {
    return std::nullopt;
  }
  FloppyBuilder floppy(bootSector);
  PutDirectoryEntry(floppy.Entry(0, 0), EntryName(kKernelDirectoryName), kArchiveAttribute,
                    floppy.Allocate(kernel.size(), kernel), kernel.size());
  if (!bootFiles.empty()) {
    const std::size_t efi = MakeDirectory(floppy, 0, 1, EntryName(kEfiDirectoryName));
    const std::size_t boot = MakeDirectory(floppy, efi, 2, EntryName(kBootDirectoryName));
    for (std::size_t k = 0; k < bootFiles.size(); ++k) {
      const BootFile& file = bootFiles[k];
      PutDirectoryEntry(floppy.Entry(boot, 2 + k), file.directoryName, kArchiveAttribute,
                        floppy.Allocate(file.bytes.size(), file.bytes), file.bytes.size());
    }
  }
  if (!floppy.Fits()) {
    return std::nullopt;
  }
  return floppy.Finish();
}

}  // namespace corvane::rescue
