#include "tests/support/DiskImages.h"

#include <algorithm>
#include <iterator>

#include "disk/SectorAccess.h"
#include "partition/BootRecordReader.h"
#include "rescue/FloppyImage.h"
#include "rescue/RescueSteps.h"

namespace corvane::testing {

disk::Sector BootRecord(std::initializer_list<PartitionEntry> entries, std::uint8_t fill,
                        bool withSignature) {
  disk::Sector sector{};
  sector.fill(fill);
  for (std::size_t i = partition::kPartitionTableOffset; i < 510; ++i) {
    sector[i] = 0;
  }
  for (const PartitionEntry& entry : entries) {
    const std::size_t at =
        partition::kPartitionTableOffset + partition::kPartitionEntrySize * entry.slot;
    sector[at + 4] = entry.type;
    for (int byte = 0; byte < 4; ++byte) {
      sector[at + 8 + byte] = static_cast<std::uint8_t>(entry.start >> (8 * byte));
    }
  }
  sector[510] = withSignature ? 0x55 : 0;
  sector[511] = withSignature ? 0xAA : 0;
  return sector;
}

std::vector<std::uint32_t> PutLogicalChain(FakeDevice& disk, std::uint32_t base, int count,
                                           std::uint32_t spacing, int extendedSlot,
                                           std::uint8_t linkType) {
  disk.PutSector(0, BootRecord({{0, kNtfs, 63}, {extendedSlot, linkType, base}}, 0xA0));
  std::vector<std::uint32_t> lbas;
  for (int k = 0; k < count; ++k) {
    const std::uint32_t link = spacing * static_cast<std::uint32_t>(k + 1);
    const bool last = k + 1 == count;
    const auto fill = static_cast<std::uint8_t>(k + 1);
    disk.PutSector(base + link - spacing,
                   last ? BootRecord({{0, kNtfs, 63}}, fill)
                        : BootRecord({{0, kNtfs, 63}, {1, linkType, link}}, fill));
    lbas.push_back(base + link - spacing);
  }
  return lbas;
}

disk::Sector ControlBufferOf(const std::vector<std::uint32_t>& values) {
  disk::Sector buffer{};
  std::size_t at = 0;
  for (const std::uint32_t value : values) {
    buffer[at++] = '$';
    for (int byte = 0; byte < 4; ++byte) {
      buffer[at++] = static_cast<std::uint8_t>(value >> (8 * byte));
    }
  }
  return buffer;
}

namespace {

void Put16(disk::Sector& sector, std::size_t at, unsigned value) {
  sector[at] = static_cast<std::uint8_t>(value);
  sector[at + 1] = static_cast<std::uint8_t>(value >> 8U);
}

}  // namespace

disk::Sector FormattedBootSector(const rescue::FloppyBpb& bpb) {
  disk::Sector sector{};
  Put16(sector, 11, bpb.bytesPerSector);
  sector[13] = bpb.sectorsPerCluster;
  Put16(sector, 14, bpb.reservedSectors);
  sector[16] = bpb.fatCount;
  Put16(sector, 17, bpb.rootEntries);
  Put16(sector, 19, bpb.totalSectors);
  sector[21] = 0xF0;
  Put16(sector, 22, bpb.sectorsPerFat);
  Put16(sector, 24, bpb.sectorsPerTrack);
  Put16(sector, 26, bpb.heads);
  sector[510] = 0x55;
  sector[511] = 0xAA;
  return sector;
}

namespace {

// The FAT of a floppy whose one file takes clusters 2 to 1 + clusters.
std::vector<std::uint8_t> FatWithOneChain(unsigned clusters, std::size_t size) {
  std::vector<std::uint8_t> fat(size);
  const auto put = [&fat](unsigned cluster, unsigned value) {
    const std::size_t at = cluster * 3 / 2;
    const unsigned shift = cluster % 2 == 0 ? 0U : 4U;
    const unsigned keep = cluster % 2 == 0 ? 0xF000U : 0x000FU;
    const unsigned pair = ((fat[at] | fat[at + 1] << 8U) & keep) | (value << shift);
    fat[at] = static_cast<std::uint8_t>(pair);
    fat[at + 1] = static_cast<std::uint8_t>(pair >> 8U);
  };
  put(0, 0xFF0);
  put(1, 0xFFF);
  for (unsigned cluster = 2; cluster < 2 + clusters; ++cluster) {
    put(cluster, cluster + 1 < 2 + clusters ? cluster + 1 : 0xFFF);
  }
  return fat;
}

}  // namespace

void FormatFloppyWithKernel(FakeDevice& floppy, const rescue::FloppyBpb& bpb,
                            const std::vector<std::uint8_t>& kernel) {
  floppy.PutSector(0, FormattedBootSector(bpb));
  const std::size_t clusterBytes = std::size_t{bpb.sectorsPerCluster} * disk::kSectorSize;
  const auto clusters = static_cast<unsigned>((kernel.size() + clusterBytes - 1) / clusterBytes);
  const auto fat = FatWithOneChain(clusters, std::size_t{bpb.sectorsPerFat} * disk::kSectorSize);
  for (unsigned copy = 0; copy < bpb.fatCount; ++copy) {
    for (unsigned k = 0; k < bpb.sectorsPerFat; ++k) {
      disk::Sector sector{};
      std::copy_n(fat.begin() + static_cast<std::ptrdiff_t>(std::size_t{k} * disk::kSectorSize),
                  disk::kSectorSize, sector.begin());
      floppy.PutSector(bpb.reservedSectors + copy * bpb.sectorsPerFat + k, sector);
    }
  }
  const unsigned root = bpb.reservedSectors + bpb.fatCount * bpb.sectorsPerFat;
  disk::Sector directory{};
  std::copy_n("BOOTCOREBIN", 11, directory.begin());
  directory[11] = 0x20;
  Put16(directory, 26, 2);
  disk::PutLittleEndian32(directory, 28, static_cast<std::uint32_t>(kernel.size()));
  floppy.PutSector(root, directory);
  const std::size_t rootSectors =
      (std::size_t{bpb.rootEntries} * 32 + disk::kSectorSize - 1) / disk::kSectorSize;
  const std::size_t firstDataSector = root + rootSectors;
  for (std::size_t at = 0; at < kernel.size(); at += disk::kSectorSize) {
    disk::Sector sector{};
    std::copy_n(kernel.begin() + static_cast<std::ptrdiff_t>(at),
                std::min(disk::kSectorSize, kernel.size() - at), sector.begin());
    floppy.PutSector(firstDataSector + at / disk::kSectorSize, sector);
  }
}

std::vector<std::uint8_t> Bytes(const std::string& text, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>(text[i % text.size()]);
  }
  return bytes;
}

void ShipUefiPrograms(FakePlatform& platform) {
  platform.files["os\\efi\\bootx64.efi"] = Bytes("MZ x64 rescue", 1500);
  platform.files["os\\efi\\bootia32.efi"] = Bytes("MZ ia32 rescue", 1200);
}

void FormatRescueFloppy(FakePlatform& platform) {
  const disk::Sector bootSector = FormattedBootSector(rescue::kStandardFloppyBpb);
  std::vector<rescue::BootFile> programs;
  std::ranges::transform(
      rescue::kUefiProgramFiles, std::back_inserter(programs),
      [&platform](const rescue::UefiProgramFile& file) {
        return rescue::BootFile{file.directoryName, platform.files.at(file.shippedPath)};
      });
  const std::vector<std::uint8_t> image =
      rescue::BuildFloppyImage(bootSector, platform.files.at("os\\bootcore.bin"), programs).value();
  FakeDevice& floppy = platform.Device(disk::kFloppyDeviceName);
  for (std::size_t sector = 0; sector * disk::kSectorSize < image.size(); ++sector) {
    disk::Sector data{};
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(sector * disk::kSectorSize),
                data.size(), data.begin());
    if (data != disk::Sector{}) {
      floppy.PutSector(sector, data);
    }
  }
}

}  // namespace corvane::testing
