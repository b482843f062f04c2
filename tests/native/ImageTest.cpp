#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "rescue/CdImage.h"
#include "rescue/FloppyImage.h"

namespace corvane::testing {
namespace {

using rescue::BuildCdImage;
using rescue::BuildFloppyImage;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kFloppySector = 512;
constexpr std::size_t kCdSector = 2048;

// The BPB every format tool writes on a 1.44 MB floppy, from offset 11 on.
constexpr std::uint8_t kStandardBpb[] = {0x00, 0x02, 0x01, 0x01, 0x00, 0x02, 0xE0, 0x00, 0x40,
                                         0x0B, 0xF0, 0x09, 0x00, 0x12, 0x00, 0x02, 0x00};

// Bytes that differ from sector to sector and within one, so that a byte in
// the wrong place shows.
Bytes Pattern(std::size_t size, std::size_t sectorSize, unsigned seed) {
  Bytes bytes(size);
  for (std::size_t k = 0; k < size; ++k) {
    bytes[k] = static_cast<std::uint8_t>(k * seed + k / sectorSize);
  }
  return bytes;
}

disk::Sector BootSectorWithBpb(std::span<const std::uint8_t> bpb) {
  disk::Sector sector{};
  const Bytes code = Pattern(kFloppySector, kFloppySector, 3);
  std::ranges::copy(code, sector.begin());
  std::ranges::copy(bpb, sector.begin() + 11);
  return sector;
}

unsigned Little16(const Bytes& bytes, std::size_t at) { return bytes[at] | bytes[at + 1] << 8U; }
unsigned Little32(const Bytes& bytes, std::size_t at) {
  return Little16(bytes, at) | Little16(bytes, at + 2) << 16U;
}
unsigned Big16(const Bytes& bytes, std::size_t at) { return bytes[at] << 8U | bytes[at + 1]; }
unsigned Big32(const Bytes& bytes, std::size_t at) {
  return Big16(bytes, at) << 16U | Big16(bytes, at + 2);
}
// A both-endian 32-bit field, or a value no field holds when its halves disagree.
unsigned Both32(const Bytes& bytes, std::size_t at) {
  const unsigned value = Little32(bytes, at);
  return value == Big32(bytes, at + 4) ? value : 0xDEADBEEF;
}

unsigned Fat12Entry(const Bytes& image, std::size_t fatSector, unsigned cluster) {
  const unsigned word = Little16(image, fatSector * kFloppySector + cluster * 3 / 2);
  return (cluster % 2 == 0 ? word : word >> 4U) & 0xFFFU;
}

// The clusters of the chain from cluster 2 as the boot sector follows it:
// only through FAT sectors 1 and 2, the rest being overwritten by the copies.
std::vector<unsigned> FatChain(const Bytes& image, std::size_t fatSector) {
  std::vector<unsigned> chain;
  for (unsigned cluster = 2; cluster >= 2 && cluster < 0xFF8 && chain.size() < 4096;) {
    chain.push_back(cluster);
    if (cluster * 3 / 2 + 1 >= 2 * kFloppySector) {
      ADD_FAILURE() << "cluster " << cluster << "'s entry lies beyond FAT sector 2";
      break;
    }
    cluster = Fat12Entry(image, fatSector, cluster);
  }
  return chain;
}

// Reads the kernel back as the boot sector does, through each FAT in turn,
// and checks the format's marks and the directory entry on the way.
void ExpectKernelThroughEachFat(const Bytes& image, const Bytes& kernel) {
  const std::size_t root = 19 * kFloppySector;
  ASSERT_EQ(std::string(image.begin() + root, image.begin() + root + 11), "BOOTCOREBIN");
  EXPECT_EQ(image[root + 11], 0x20);  // archive
  ASSERT_EQ(Little16(image, root + 26), 2U);
  EXPECT_EQ(Little32(image, root + 28), kernel.size());
  const std::size_t clusters = (kernel.size() + kFloppySector - 1) / kFloppySector;
  for (const std::size_t fatSector : {1, 10}) {
    SCOPED_TRACE(fatSector);
    EXPECT_EQ(Bytes(image.begin() + fatSector * kFloppySector,
                    image.begin() + fatSector * kFloppySector + 3),
              (Bytes{0xF0, 0xFF, 0xFF}));
    const std::vector<unsigned> chain = FatChain(image, fatSector);
    std::vector<unsigned> contiguous(clusters);
    std::iota(contiguous.begin(), contiguous.end(), 2U);
    ASSERT_EQ(chain, contiguous);
    EXPECT_EQ(Fat12Entry(image, fatSector, 2 + clusters), 0U);  // free
  }
  Bytes read;
  for (unsigned cluster = 2; cluster < 2 + clusters; ++cluster) {
    const auto data =
        image.begin() + static_cast<std::ptrdiff_t>((33 + cluster - 2) * kFloppySector);
    read.insert(read.end(), data, data + kFloppySector);
  }
  read.resize(kernel.size());
  EXPECT_EQ(read, kernel);
}

TEST(FloppyImageTest, HoldsTheBootSectorAndTheKernelInBothFatsChains) {
  const disk::Sector bootSector = BootSectorWithBpb(kStandardBpb);
  const Bytes kernel = Pattern(5 * kFloppySector + 100, kFloppySector, 7);
  const auto image = BuildFloppyImage(bootSector, kernel);
  ASSERT_TRUE(image);
  ASSERT_EQ(image->size(), 2880 * kFloppySector);
  EXPECT_EQ(Bytes(image->begin(), image->begin() + kFloppySector),
            Bytes(bootSector.begin(), bootSector.end()));
  ExpectKernelThroughEachFat(*image, kernel);
}

// The boot sector loads the kernel from 0000:1000 up to itself at 0000:7C00:
// 54 sectors.
TEST(FloppyImageTest, TakesTheLargestKernelTheBootSectorLoads) {
  const disk::Sector bootSector = BootSectorWithBpb(kStandardBpb);
  const Bytes largest = Pattern(54 * kFloppySector, kFloppySector, 5);
  const auto image = BuildFloppyImage(bootSector, largest);
  ASSERT_TRUE(image);
  ExpectKernelThroughEachFat(*image, largest);
  EXPECT_FALSE(BuildFloppyImage(bootSector, Bytes(largest.size() + 1)));
}

TEST(FloppyImageTest, RefusesABootSectorWithoutTheStandardBpb) {
  const auto withByte = [](std::size_t offset, std::uint8_t value) {
    Bytes bpb(std::begin(kStandardBpb), std::end(kStandardBpb));
    bpb[offset - 11] = value;
    return BootSectorWithBpb(bpb);
  };
  // 4 sectors a FAT, 1440 sectors (720 KB), 1 FAT, 1024-byte sectors, no BPB at all.
  for (const disk::Sector& other :
       {withByte(22, 4), withByte(19, 0xA0), withByte(16, 1), withByte(12, 4), disk::Sector{}}) {
    EXPECT_FALSE(BuildFloppyImage(other, Bytes(100)));
  }
}

std::size_t CdAt(std::size_t sector) { return sector * kCdSector; }

// A path table's records as (directory extent, parent's number), each field
// in the table's own byte order; nothing when its records do not fill size.
std::vector<std::pair<unsigned, unsigned>> PathTable(const Bytes& iso, std::size_t at,
                                                     std::size_t size, bool bigEndian) {
  std::vector<std::pair<unsigned, unsigned>> records;
  if (at + size > iso.size()) {
    return {};
  }
  std::size_t offset = 0;
  while (offset < size && iso[at + offset] != 0) {
    const std::size_t record = at + offset;
    records.emplace_back(bigEndian ? Big32(iso, record + 2) : Little32(iso, record + 2),
                         bigEndian ? Big16(iso, record + 6) : Little16(iso, record + 6));
    // 8 fixed bytes, the identifier, and a padding byte after an odd one.
    const std::size_t identifier = iso[record];
    offset += 8 + identifier + identifier % 2;
  }
  return offset == size ? records : decltype(records){};
}

class CdImageTest : public ::testing::Test {
 protected:
  const Bytes floppy = Pattern(rescue::kFloppyImageSize, kCdSector, 11);
  const Bytes iso = BuildCdImage(floppy);

  [[nodiscard]] std::string Text(std::size_t at, std::size_t size) const {
    return {iso.begin() + static_cast<std::ptrdiff_t>(at),
            iso.begin() + static_cast<std::ptrdiff_t>(at + size)};
  }
};

TEST_F(CdImageTest, TheBootCatalogLoadsTheFloppyWithFloppyEmulation) {
  ASSERT_EQ(Text(CdAt(16), 6), "\1CD001");
  ASSERT_EQ(std::size_t{Both32(iso, CdAt(16) + 80)} * kCdSector, iso.size());
  const std::size_t bootRecord = CdAt(17);
  ASSERT_EQ(Text(bootRecord, 7), std::string("\0CD001\1", 7));
  // The system identifier El Torito fixes, padded with zeros to 32 bytes.
  const std::string elTorito = std::string("EL TORITO SPECIFI") + "CATION";
  ASSERT_EQ(Text(bootRecord + 7, 32), elTorito + std::string(9, '\0'));
  EXPECT_EQ(iso[CdAt(18)], 0xFF);  // the set's terminator
  const std::size_t catalog = CdAt(Little32(iso, bootRecord + 0x47));
  ASSERT_LT(catalog, iso.size());
  EXPECT_EQ(iso[catalog], 0x01);
  EXPECT_EQ(iso[catalog + 30], 0x55);
  EXPECT_EQ(iso[catalog + 31], 0xAA);
  unsigned sum = 0;
  for (std::size_t at = 0; at < 32; at += 2) {
    sum += Little16(iso, catalog + at);
  }
  EXPECT_EQ(sum % 0x10000, 0U);
  const std::size_t initial = catalog + 32;
  EXPECT_EQ(iso[initial], 0x88);              // bootable
  EXPECT_EQ(iso[initial + 1], 0x02);          // 1.44 MB floppy
  EXPECT_EQ(Little16(iso, initial + 2), 0U);  // the BIOS's own 07C0:0000
  EXPECT_EQ(Little16(iso, initial + 6), 1U);
  const std::size_t boot = CdAt(Little32(iso, initial + 8));
  ASSERT_LE(boot + floppy.size(), iso.size());
  EXPECT_EQ(Bytes(iso.begin() + boot, iso.begin() + boot + floppy.size()), floppy);
}

TEST_F(CdImageTest, RescueImgIsTheBootImageItself) {
  const std::size_t root = CdAt(Both32(iso, CdAt(16) + 156 + 2));
  ASSERT_LT(root, iso.size());
  // ".", ".." (one byte names 0 and 1), then the file.
  std::vector<std::string> names;
  std::size_t file = root;
  for (std::size_t at = root; iso[at] != 0 && names.size() < 3; at += iso[at]) {
    names.push_back(Text(at + 33, iso[at + 32]));
    file = at;
  }
  ASSERT_EQ(names, (std::vector<std::string>{std::string(1, '\0'), "\1", "RESCUE.IMG;1"}));
  const std::size_t bootSector = Little32(iso, CdAt(Little32(iso, CdAt(17) + 0x47)) + 32 + 8);
  EXPECT_EQ(Both32(iso, file + 2), bootSector);
  EXPECT_EQ(Both32(iso, file + 10), floppy.size());
  EXPECT_EQ(iso[file + 25], 0);  // a file, not a directory
}

// Other tools and firmware find the root through either path table, each
// read in its own byte order, and walk a directory record by record: every
// record is 33 bytes, its identifier and, after an even identifier, a zero
// byte that keeps the length even.
TEST_F(CdImageTest, DirectoryRecordsAndBothPathTablesFollowTheIso9660Layout) {
  const std::size_t descriptor = CdAt(16);
  const auto expectRecordLayout = [this](std::size_t record) {
    const std::size_t identifier = iso[record + 32];
    const std::size_t padding = identifier % 2 == 0 ? 1 : 0;
    EXPECT_EQ(iso[record], 33 + identifier + padding) << "record at " << record;
    if (padding != 0) {
      EXPECT_EQ(iso[record + 33 + identifier], 0) << "record at " << record;
    }
  };
  expectRecordLayout(descriptor + 156);
  const unsigned rootExtent = Both32(iso, descriptor + 156 + 2);
  const std::size_t root = CdAt(rootExtent);
  ASSERT_LT(root + kCdSector, iso.size());
  int records = 0;
  for (std::size_t at = root; at < root + kCdSector && iso[at] != 0; at += iso[at]) {
    expectRecordLayout(at);
    ++records;
  }
  EXPECT_EQ(records, 3);

  // The root alone, its own parent (directory number 1).
  const std::vector<std::pair<unsigned, unsigned>> rootOnly{{rootExtent, 1}};
  const unsigned size = Both32(iso, descriptor + 132);
  EXPECT_EQ(PathTable(iso, CdAt(Little32(iso, descriptor + 140)), size, false), rootOnly);
  EXPECT_EQ(PathTable(iso, CdAt(Big32(iso, descriptor + 148)), size, true), rootOnly);
}

}  // namespace
}  // namespace corvane::testing
