#include "rescue/ReadBack.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rescue/ControlBuffer.h"
#include "rescue/FloppyImage.h"
#include "rescue/FloppyLayout.h"
#include "rescue/RescueSteps.h"

namespace corvane::rescue {
namespace {

// Why a floppy fails the read-back: a sector that does not read back as
// written, a kernel that the boot sector would not load as it is, a UEFI
// program that a FAT driver would not read as it is, or one that lies where
// the rescue cannot reach it.
enum class FaultKind { Sector, Kernel, UefiProgram, NoRoom };

struct ReadBackFault {
  FaultKind kind = FaultKind::Sector;
  int sector = 0;
};

using Outcome = std::optional<ReadBackFault>;

Outcome SectorFault(int sector) { return ReadBackFault{FaultKind::Sector, sector}; }
Outcome KernelFault() { return ReadBackFault{FaultKind::Kernel, 0}; }

Outcome ReadWrittenSectors(RescueMedium& medium) {
  for (const auto& [sector, written] : medium.WrittenSectors()) {
    disk::Sector read{};
    if (medium.ReadSector(sector, read) != disk::kResultOk || read != written) {
      return SectorFault(sector);
    }
  }
  return std::nullopt;
}

// The entry named name (11 characters, padded) in a directory's sectors, as
// the boot sector and a FAT driver find it: the first with that name, before
// the first free entry ends the directory. Nothing found is notFound.
Outcome FindEntry(RescueMedium& medium, const std::vector<int>& sectors, std::string_view name,
                  std::array<std::uint8_t, kDirectoryEntrySize>& entry, const Outcome& notFound) {
  for (const int sector : sectors) {
    disk::Sector directory{};
    if (medium.ReadSector(sector, directory) != disk::kResultOk) {
      return SectorFault(sector);
    }
    for (std::size_t at = 0; at < directory.size(); at += kDirectoryEntrySize) {
      if (directory[at] == 0) {
        return notFound;
      }
      if (std::equal(name.begin(), name.end(),
                     directory.begin() + static_cast<std::ptrdiff_t>(at))) {
        std::copy_n(directory.begin() + static_cast<std::ptrdiff_t>(at), entry.size(),
                    entry.begin());
        return std::nullopt;
      }
    }
  }
  return notFound;
}

std::vector<int> RootDirectorySectors() {
  std::vector<int> sectors;
  // The root directory ends where the data area begins.
  for (int sector = kStandardRootDirectorySector; sector < kFloppyDataStartSector; ++sector) {
    sectors.push_back(sector);
  }
  return sectors;
}

int ClusterSector(unsigned cluster) {
  return kFloppyDataStartSector + static_cast<int>(cluster - kFirstDataCluster);
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

// Follows the chain from the entry's first cluster, as far as the file's
// size needs, comparing every byte read with the file; a chain that breaks
// off or runs on is broken. A cluster beyond the FAT bytes that the rescue
// holds is noRoom.
Outcome CompareClusters(RescueMedium& medium, const std::vector<std::uint8_t>& fat,
                        unsigned cluster, std::span<const std::uint8_t> file, const Outcome& broken,
                        const Outcome& noRoom) {
  std::size_t loaded = 0;
  while (loaded < file.size()) {
    if (cluster < kFirstDataCluster || cluster >= kFat12EndOfChain) {
      return broken;
    }
    if (cluster >= kReachableClusters) {
      return noRoom;
    }
    disk::Sector read{};
    if (medium.ReadSector(ClusterSector(cluster), read) != disk::kResultOk) {
      return SectorFault(ClusterSector(cluster));
    }
    const std::size_t count = std::min(read.size(), file.size() - loaded);
    if (!std::equal(read.begin(), read.begin() + static_cast<std::ptrdiff_t>(count),
                    file.begin() + static_cast<std::ptrdiff_t>(loaded))) {
      return broken;
    }
    loaded += count;
    cluster = NextCluster(fat, cluster).value_or(0);
  }
  // A longer chain would have the boot sector load more than the kernel.
  return cluster >= kFat12EndOfChain ? Outcome{} : broken;
}

Outcome CompareKernel(RescueMedium& medium, const std::vector<std::uint8_t>& fat,
                      std::span<const std::uint8_t> kernel) {
  std::array<std::uint8_t, kDirectoryEntrySize> entry{};
  if (const Outcome fault =
          FindEntry(medium, RootDirectorySectors(), kKernelDirectoryName, entry, KernelFault())) {
    return fault;
  }
  if (disk::LittleEndian32(entry, kDirectoryEntryFileSize) != kernel.size()) {
    return KernelFault();
  }
  return CompareClusters(medium, fat, disk::LittleEndian16(entry, kDirectoryEntryFirstCluster),
                         kernel, KernelFault(), KernelFault());
}

// The sectors of the directory whose entry is given, following its chain, or
// nothing when the entry is no directory or its chain leaves the FAT bytes
// the rescue holds.
std::optional<std::vector<int>> SubdirectorySectors(const std::vector<std::uint8_t>& fat,
                                                    std::span<const std::uint8_t> entry) {
  if ((entry[kDirectoryEntryAttribute] & kDirectoryAttribute) == 0) {
    return std::nullopt;
  }
  std::vector<int> sectors;
  unsigned cluster = disk::LittleEndian16(entry, kDirectoryEntryFirstCluster);
  while (cluster < kFat12EndOfChain) {
    if (cluster < kFirstDataCluster || cluster >= kReachableClusters ||
        sectors.size() >= kReachableClusters) {
      return std::nullopt;
    }
    sectors.push_back(ClusterSector(cluster));
    cluster = NextCluster(fat, cluster).value_or(0);
  }
  return sectors;
}

// \EFI\BOOT and each UEFI program in it, as a FAT driver reads them.
Outcome CompareUefiPrograms(RescueMedium& medium, const std::vector<std::uint8_t>& fat,
                            std::span<const BootFile> programs) {
  const Outcome broken = ReadBackFault{FaultKind::UefiProgram, 0};
  std::vector<int> directory = RootDirectorySectors();
  for (const std::string_view name : {kEfiDirectoryName, kBootDirectoryName}) {
    std::array<std::uint8_t, kDirectoryEntrySize> entry{};
    if (const Outcome fault = FindEntry(medium, directory, name, entry, broken)) {
      return fault;
    }
    auto sectors = SubdirectorySectors(fat, entry);
    if (!sectors) {
      return broken;
    }
    directory = std::move(*sectors);
  }
  for (const BootFile& program : programs) {
    std::array<std::uint8_t, kDirectoryEntrySize> entry{};
    if (const Outcome fault = FindEntry(medium, directory, program.directoryName, entry, broken)) {
      return fault;
    }
    if (disk::LittleEndian32(entry, kDirectoryEntryFileSize) != program.bytes.size()) {
      return broken;
    }
    if (const Outcome fault =
            CompareClusters(medium, fat, disk::LittleEndian16(entry, kDirectoryEntryFirstCluster),
                            program.bytes, broken, ReadBackFault{FaultKind::NoRoom, 0})) {
      return fault;
    }
  }
  return std::nullopt;
}

Outcome CompareFiles(RescueMedium& medium, std::span<const std::uint8_t> kernel,
                     std::span<const BootFile> programs) {
  std::vector<std::uint8_t> fat;
  if (const Outcome fault = ReadLoaderFat(medium, fat)) {
    return fault;
  }
  if (const Outcome fault = CompareKernel(medium, fat, kernel)) {
    return fault;
  }
  return programs.empty() ? Outcome{} : CompareUefiPrograms(medium, fat, programs);
}

std::string SectorFaultMessage(int sector) {
  return "The rescue floppy does not read back as written (floppy sector " +
         std::to_string(sector) + ").\nUse another floppy disk. No rescue disk was created.";
}

std::string FaultMessage(const ReadBackFault& fault) {
  switch (fault.kind) {
    case FaultKind::Kernel:
      return "The rescue kernel on the floppy cannot be loaded as written.\nUse a clean, freshly "
             "formatted floppy disk. No rescue disk was created.";
    case FaultKind::UefiProgram:
      return "The UEFI rescue programs in \\EFI\\BOOT on the floppy cannot be read as "
             "written.\nUse a clean, freshly formatted floppy disk. No rescue disk was created.";
    case FaultKind::NoRoom:
      return "The floppy has no room for the UEFI rescue programs in its first " +
             std::to_string(kReachableClusters) +
             " clusters, the only ones the rescue reads.\nUse a clean, freshly formatted floppy "
             "disk. No rescue disk was created.";
    case FaultKind::Sector:
      break;
  }
  return SectorFaultMessage(fault.sector);
}

bool ReportReadBackFault(RescueMedium& medium, StatusSink& sink, const ReadBackFault& fault) {
  // Best effort: without an index the rescue kernel takes the floppy for none.
  const ControlBuffer empty{};
  medium.WriteSector(kControlBufferFloppySector, empty);
  return Fail(sink, "Failed :: Rescue disk verification failed !", FaultMessage(fault));
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
                        std::span<const BootFile> uefiPrograms, StatusSink& sink) {
  sink.SetStatus("Verifying Rescue Disk...");
  Outcome fault = ReadWrittenSectors(medium);
  if (!fault) {
    fault = CompareFiles(medium, kernel, uefiPrograms);
  }
  return fault ? ReportReadBackFault(medium, sink, *fault) : true;
}

}  // namespace corvane::rescue
