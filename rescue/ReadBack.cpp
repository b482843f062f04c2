#include "rescue/ReadBack.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "rescue/ControlBuffer.h"
#include "rescue/FloppyImage.h"
#include "rescue/FloppyLayout.h"
#include "rescue/RescueSteps.h"

namespace corvane::rescue {
namespace {

// Why a floppy fails the read-back: a sector that does not read back as
// written, or a kernel that the boot sector would not load as it is.
struct ReadBackFault {
  bool kernel = false;
  int sector = 0;
};

using Outcome = std::optional<ReadBackFault>;

Outcome SectorFault(int sector) { return ReadBackFault{false, sector}; }
Outcome KernelFault() { return ReadBackFault{true, 0}; }

Outcome ReadWrittenSectors(RescueMedium& medium) {
  for (const auto& [sector, written] : medium.WrittenSectors()) {
    disk::Sector read{};
    if (medium.ReadSector(sector, read) != disk::kResultOk || read != written) {
      return SectorFault(sector);
    }
  }
  return std::nullopt;
}

// The kernel's directory entry as the boot sector finds it: the first entry
// with its name, before the first free entry ends the directory.
Outcome FindKernelEntry(RescueMedium& medium,
                        std::array<std::uint8_t, kDirectoryEntrySize>& entry) {
  // The root directory ends where the data area begins.
  for (int sector = kStandardRootDirectorySector; sector < kFloppyDataStartSector; ++sector) {
    disk::Sector directory{};
    if (medium.ReadSector(sector, directory) != disk::kResultOk) {
      return SectorFault(sector);
    }
    for (std::size_t at = 0; at < directory.size(); at += kDirectoryEntrySize) {
      if (directory[at] == 0) {
        return KernelFault();
      }
      if (std::memcmp(&directory[at], kKernelDirectoryName, sizeof kKernelDirectoryName - 1) == 0) {
        std::copy_n(directory.begin() + static_cast<std::ptrdiff_t>(at), entry.size(),
                    entry.begin());
        return std::nullopt;
      }
    }
  }
  return KernelFault();
}

// The FAT entries the boot sector follows, in the sectors it reads them from.
Outcome ReadLoaderFat(RescueMedium& medium, std::vector<std::uint8_t>& fat) {
  for (int k = 0; k < kLoaderFatSectors; ++k) {
    disk::Sector sector{};
    if (medium.ReadSector(kLoaderFatFirstSector + k, sector) != disk::kResultOk) {
      return SectorFault(kLoaderFatFirstSector + k);
    }
    fat.insert(fat.end(), sector.begin(), sector.end());
  }
  return std::nullopt;
}

// The cluster after cluster, or nothing when its entry lies beyond the FAT
// bytes the boot sector holds.
std::optional<unsigned> NextCluster(const std::vector<std::uint8_t>& fat, unsigned cluster) {
  const std::size_t at = Fat12EntryOffset(cluster);
  if (at + 1 >= fat.size()) {
    return std::nullopt;
  }
  const unsigned pair = disk::LittleEndian16(fat, at);
  return (cluster % 2 == 0 ? pair : pair >> 4U) & 0xFFFU;
}

// Follows the chain from the entry's first cluster, as far as the kernel's
// size needs, comparing every loaded byte with the kernel file.
Outcome CompareKernelClusters(RescueMedium& medium, const std::vector<std::uint8_t>& fat,
                              unsigned cluster, std::span<const std::uint8_t> kernel) {
  constexpr int kSectorsPerCluster = kStandardFloppyBpb.sectorsPerCluster;
  std::size_t loaded = 0;
  while (loaded < kernel.size()) {
    if (cluster < kFirstDataCluster || cluster >= kFat12EndOfChain) {
      return KernelFault();
    }
    const int first =
        kFloppyDataStartSector + static_cast<int>(cluster - kFirstDataCluster) * kSectorsPerCluster;
    for (int k = 0; k < kSectorsPerCluster && loaded < kernel.size(); ++k) {
      disk::Sector read{};
      if (medium.ReadSector(first + k, read) != disk::kResultOk) {
        return SectorFault(first + k);
      }
      const std::size_t count = std::min(read.size(), kernel.size() - loaded);
      if (!std::equal(read.begin(), read.begin() + static_cast<std::ptrdiff_t>(count),
                      kernel.begin() + static_cast<std::ptrdiff_t>(loaded))) {
        return KernelFault();
      }
      loaded += count;
    }
    const auto next = NextCluster(fat, cluster);
    if (!next) {
      return KernelFault();
    }
    cluster = *next;
  }
  // A longer chain would have the boot sector load more than the kernel.
  return cluster >= kFat12EndOfChain ? Outcome{} : KernelFault();
}

Outcome CompareKernel(RescueMedium& medium, std::span<const std::uint8_t> kernel) {
  std::array<std::uint8_t, kDirectoryEntrySize> entry{};
  std::vector<std::uint8_t> fat;
  if (const Outcome fault = FindKernelEntry(medium, entry)) {
    return fault;
  }
  if (disk::LittleEndian32(entry, kDirectoryEntryFileSize) != kernel.size()) {
    return KernelFault();
  }
  if (const Outcome fault = ReadLoaderFat(medium, fat)) {
    return fault;
  }
  return CompareKernelClusters(medium, fat,
                               disk::LittleEndian16(entry, kDirectoryEntryFirstCluster), kernel);
}

std::string SectorFaultMessage(int sector) {
  return "The rescue floppy does not read back as written (floppy sector " +
         std::to_string(sector) + ").\nUse another floppy disk. No rescue disk was created.";
}

bool ReportReadBackFault(RescueMedium& medium, StatusSink& sink, const ReadBackFault& fault) {
  // Best effort: without an index the rescue kernel takes the floppy for none.
  const ControlBuffer empty{};
  medium.WriteSector(kControlBufferFloppySector, empty);
  return Fail(sink, "Failed :: Rescue disk verification failed !",
              fault.kernel ? "The rescue kernel on the floppy cannot be loaded as written.\nUse "
                             "a clean, freshly formatted floppy disk. No rescue disk was created."
                           : SectorFaultMessage(fault.sector));
}

}  // namespace

bool CheckFloppyFormat(RescueMedium& medium, StatusSink& sink) {
  disk::Sector floppyBootSector{};
  if (medium.ReadSector(kBootSectorFloppySector, floppyBootSector) != disk::kResultOk) {
    // The sector access has already told the user which read failed.
    sink.SetStatus("Failed :: Error reading floppy disk !");
    return false;
  }
  if (ReadFloppyBpb(floppyBootSector) != kStandardFloppyBpb) {
    return Fail(sink, "Failed :: Floppy disk is not formatted as 1.44 MB !",
                "The floppy disk in drive A: is not formatted as a 1.44 MB floppy disk.\nFormat "
                "it as a 1.44 MB floppy disk and try again. No rescue disk was created.");
  }
  return true;
}

bool VerifyRescueFloppy(RescueMedium& medium, std::span<const std::uint8_t> kernel,
                        StatusSink& sink) {
  sink.SetStatus("Verifying Rescue Disk...");
  Outcome fault = ReadWrittenSectors(medium);
  if (!fault) {
    fault = CompareKernel(medium, kernel);
  }
  return fault ? ReportReadBackFault(medium, sink, *fault) : true;
}

}  // namespace corvane::rescue
