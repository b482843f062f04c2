#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "disk/Sector.h"
#include "rescue/ControlBuffer.h"
#include "rescue/FloppyLayout.h"

namespace corvane::rescue {

inline constexpr std::size_t kFloppyImageSize =
    std::size_t{kStandardFloppyBpb.totalSectors} * disk::kSectorSize;

// FAT12 numbers the data area's clusters from 2 and keeps cluster c's 12-bit
// entry in the two bytes from 1.5 c on.
inline constexpr std::size_t kFirstDataCluster = 2;
constexpr std::size_t Fat12EntryOffset(std::size_t cluster) { return cluster + cluster / 2; }
inline constexpr std::size_t kDirectoryEntrySize = 32;
// Cluster 2's sector: the root directory's sectors follow the FATs.
inline constexpr std::size_t kFloppyDataStartSector =
    kStandardRootDirectorySector + std::size_t{kStandardFloppyBpb.rootEntries} *
                                       kDirectoryEntrySize / kStandardFloppyBpb.bytesPerSector;

// The last cluster a kernel may take: its FAT entry must lie in the FAT
// sectors before the control buffer, the only ones the rescue data leaves
// alone and the only ones the boot sector reads, and its data in the data area.
constexpr std::size_t LastFloppyKernelCluster() {
  constexpr FloppyBpb kBpb = kStandardFloppyBpb;
  constexpr std::size_t kFollowedFatBytes =
      std::size_t{kControlBufferFloppySector - kBpb.reservedSectors} * kBpb.bytesPerSector;
  std::size_t followed = kFirstDataCluster;
  while (Fat12EntryOffset(followed + 1) + 2 <= kFollowedFatBytes) {
    ++followed;
  }
  constexpr std::size_t kDataClusters =
      (kBpb.totalSectors - kFloppyDataStartSector) / kBpb.sectorsPerCluster;
  return std::min(followed, kFirstDataCluster + kDataClusters - 1);
}

inline constexpr std::size_t kLargestFloppyKernelSize =
    (LastFloppyKernelCluster() - kFirstDataCluster + 1) * kStandardFloppyBpb.sectorsPerCluster *
    kStandardFloppyBpb.bytesPerSector;

// A freshly formatted 1.44 MB FAT12 floppy whose sector 0 is bootSector and
// whose root directory holds kernel as BOOTCORE.BIN, its clusters from cluster
// 2 on, contiguous, with its FAT chain in both FATs: the floppy a fresh format
// followed by Windows' copy of the kernel leaves. Nothing when bootSector's
// BPB is not the standard 1.44 MB one or the kernel is larger than
// kLargestFloppyKernelSize.
std::optional<std::vector<std::uint8_t>> BuildFloppyImage(
    std::span<const std::uint8_t, disk::kSectorSize> bootSector,
    std::span<const std::uint8_t> kernel);

}  // namespace corvane::rescue
