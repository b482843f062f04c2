#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "disk/Sector.h"
#include "rescue/FloppyLayout.h"

namespace corvane::rescue {

inline constexpr std::size_t kFloppyImageSize =
    std::size_t{kStandardFloppyBpb.totalSectors} * disk::kSectorSize;

// Cluster 2's sector: the root directory's sectors follow the FATs.
inline constexpr int kFloppyDataStartSector =
    FirstRootDirectorySector(kStandardFloppyBpb) + RootDirectorySectors(kStandardFloppyBpb);

// A freshly formatted 1.44 MB FAT12 floppy whose sector 0 is bootSector and
// whose root directory holds kernel as BOOTCORE.BIN, its clusters from cluster
// 2 on, contiguous, with its FAT chain in both FATs: the floppy a fresh format
// followed by Windows' copy of the kernel leaves. Nothing when bootSector's
// BPB is not the standard 1.44 MB one or the kernel is larger than the boot
// sector loads (kKernelLoadLimit).
std::optional<std::vector<std::uint8_t>> BuildFloppyImage(
    std::span<const std::uint8_t, disk::kSectorSize> bootSector,
    std::span<const std::uint8_t> kernel);

}  // namespace corvane::rescue
