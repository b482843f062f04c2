#include "tests/support/DiskImages.h"

#include "partition/BootRecordReader.h"

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

std::vector<std::uint8_t> Bytes(const std::string& text, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>(text[i % text.size()]);
  }
  return bytes;
}

}  // namespace corvane::testing
