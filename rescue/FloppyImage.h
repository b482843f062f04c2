#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "disk/Sector.h"
#include "rescue/FloppyLayout.h"

namespace corvane::rescue {

inline constexpr std::size_t kFloppyImageSize =
    std::size_t{kStandardFloppyBpb.totalSectors} * disk::kSectorSize;

// Cluster 2's sector: the root directory's sectors follow the FATs.
inline constexpr int kFloppyDataStartSector =
    FirstRootDirectorySector(kStandardFloppyBpb) + RootDirectorySectors(kStandardFloppyBpb);

// A file of \EFI\BOOT: its 8.3 directory name, padded ("BOOTX64 EFI"), and
// its bytes.
struct BootFile {
  std::string_view directoryName;
  std::span<const std::uint8_t> bytes;
};

// The clusters a rescue floppy's files take: the kernel, and with boot files
// the EFI and BOOT directories and those files, one after the other.
std::size_t RescueFileClusters(std::size_t kernelSize, std::span<const std::size_t> bootFileSizes);

// A freshly formatted 1.44 MB FAT12 floppy whose sector 0 is bootSector and
// whose root directory holds kernel as BOOTCORE.BIN, its clusters from cluster
// 2 on, contiguous, with its FAT chain in both FATs: the floppy a fresh format
// followed by Windows' copy of the kernel leaves. With boot files, the folders
// EFI and EFI\BOOT and those files follow, as Windows creates and copies them
// next. Nothing when bootSector's BPB is not the standard 1.44 MB one, the
// kernel is larger than the boot sector loads (kKernelLoadLimit), or the
// files reach past the clusters that the rescue can reach (kReachableClusters).
std::optional<std::vector<std::uint8_t>> BuildFloppyImage(
    std::span<const std::uint8_t, disk::kSectorSize> bootSector,
    std::span<const std::uint8_t> kernel, std::span<const BootFile> bootFiles = {});

}  // namespace corvane::rescue
