#include "rescue/CdImage.h"

#include <algorithm>
#include <string_view>

#include "disk/Sector.h"

namespace corvane::rescue {
namespace {

// The volume in the order of its sectors: 16 sectors of system area, the
// descriptors, the path tables, the root directory, the boot catalog, then
// the floppy.
constexpr std::uint32_t kPrimaryDescriptorSector = 16;
constexpr std::uint32_t kBootRecordSector = kPrimaryDescriptorSector + 1;
constexpr std::uint32_t kTerminatorSector = kBootRecordSector + 1;
constexpr std::uint32_t kLittleEndianPathTableSector = kTerminatorSector + 1;
constexpr std::uint32_t kBigEndianPathTableSector = kLittleEndianPathTableSector + 1;
constexpr std::uint32_t kRootDirectorySector = kBigEndianPathTableSector + 1;
constexpr std::uint32_t kBootCatalogSector = kRootDirectorySector + 1;
constexpr std::uint32_t kFloppySector = kBootCatalogSector + 1;

constexpr std::string_view kStandardIdentifier = "CD001";
constexpr std::string_view kVolumeIdentifier = "CORVANE_RESCUE";
constexpr std::string_view kFloppyFileIdentifier = "RESCUE.IMG;1";
// The boot record's system identifier, byte for byte as El Torito fixes it.
constexpr std::string_view kElToritoIdentifier =
    "EL TORITO SPECIFI"
    "CATION";
constexpr std::string_view kRootIdentifier{"\0", 1};
constexpr std::string_view kParentIdentifier{"\1", 1};

constexpr std::uint8_t kDirectoryFlag = 0x02;
// The root directory's path table entry: one name byte and one of padding.
constexpr std::uint32_t kPathTableSize = 10;

// A fixed time stamp (2026-12-08 12:00:00 UTC) keeps images of the same
// floppy identical: the descriptors' text form and the records' binary one
// (years from 1900, month, day, hour, minute, second, offset from UTC).
constexpr std::string_view kVolumeDate = "2026120812000000";
constexpr std::string_view kNoDate = "0000000000000000";
constexpr std::uint8_t kRecordDate[] = {126, 12, 8, 12, 0, 0, 0};

// El Torito's boot catalog: a validation entry, then the default entry that
// boots the floppy with 1.44 MB emulation at 07C0:0000, the BIOS's own place.
constexpr std::uint8_t kValidationHeader = 0x01;
constexpr std::uint8_t kBootable = 0x88;
constexpr std::uint8_t kFloppy144Emulation = 0x02;
constexpr std::uint16_t kVirtualSectorsLoaded = 1;
constexpr std::size_t kCatalogEntrySize = 32;
// Then the last section, for UEFI: the same floppy image without emulation,
// which UEFI firmware reads as its EFI system partition.
constexpr std::uint8_t kLastSectionHeader = 0x91;
constexpr std::uint8_t kEfiPlatform = 0xEF;
constexpr std::uint8_t kNoEmulation = 0x00;

void PutBigEndian16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value >> 8U);
  bytes[at + 1] = static_cast<std::uint8_t>(value);
}

void PutBigEndian32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
  PutBigEndian16(bytes, at, static_cast<std::uint16_t>(value >> 16U));
  PutBigEndian16(bytes, at + 2, static_cast<std::uint16_t>(value));
}

void PutBothEndian16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
  disk::PutLittleEndian16(bytes, at, value);
  PutBigEndian16(bytes, at + 2, value);
}

void PutBothEndian32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
  disk::PutLittleEndian32(bytes, at, value);
  PutBigEndian32(bytes, at + 4, value);
}

// text at at, padded with fill to width bytes.
void PutText(std::span<std::uint8_t> bytes, std::size_t at, std::string_view text,
             std::size_t width, char fill = ' ') {
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), width,
              static_cast<std::uint8_t>(fill));
  std::ranges::copy(text, bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

std::uint32_t SectorsFor(std::size_t size) {
  return static_cast<std::uint32_t>((size + kCdSectorSize - 1) / kCdSectorSize);
}

// Writes a directory record at the start of bytes; returns its length, which
// a padding byte keeps even.
std::size_t PutDirectoryRecord(std::span<std::uint8_t> bytes, std::uint32_t extent,
                               std::uint32_t size, std::uint8_t flags,
                               std::string_view identifier) {
  constexpr std::size_t kFixedPart = 33;
  const std::size_t length = kFixedPart + identifier.size() + (identifier.size() + 1) % 2;
  bytes[0] = static_cast<std::uint8_t>(length);
  PutBothEndian32(bytes, 2, extent);
  PutBothEndian32(bytes, 10, size);
  std::ranges::copy(kRecordDate, bytes.begin() + 18);
  bytes[25] = flags;
  PutBothEndian16(bytes, 28, 1);  // volume sequence number
  bytes[32] = static_cast<std::uint8_t>(identifier.size());
  std::ranges::copy(identifier, bytes.begin() + kFixedPart);
  return length;
}

std::span<std::uint8_t> CdSector(std::vector<std::uint8_t>& image, std::uint32_t sector) {
  return std::span(image).subspan(sector * kCdSectorSize, kCdSectorSize);
}

// Type, standard identifier and version, which every volume descriptor starts with.
void PutDescriptorHeader(std::span<std::uint8_t> sector, std::uint8_t type) {
  sector[0] = type;
  PutText(sector, 1, kStandardIdentifier, kStandardIdentifier.size());
  sector[6] = 1;
}

void PutPrimaryDescriptor(std::span<std::uint8_t> sector, std::uint32_t volumeSectors) {
  PutDescriptorHeader(sector, 1);
  PutText(sector, 8, "", 32);  // system
  PutText(sector, 40, kVolumeIdentifier, 32);
  PutBothEndian32(sector, 80, volumeSectors);
  PutBothEndian16(sector, 120, 1);  // volume set size
  PutBothEndian16(sector, 124, 1);  // volume sequence number
  PutBothEndian16(sector, 128, static_cast<std::uint16_t>(kCdSectorSize));
  PutBothEndian32(sector, 132, kPathTableSize);
  disk::PutLittleEndian32(sector, 140, kLittleEndianPathTableSector);
  PutBigEndian32(sector, 148, kBigEndianPathTableSector);
  PutDirectoryRecord(sector.subspan(156), kRootDirectorySector,
                     static_cast<std::uint32_t>(kCdSectorSize), kDirectoryFlag, kRootIdentifier);
  // Volume set, publisher, preparer and application, then the copyright,
  // abstract and bibliographic files: none.
  PutText(sector, 190, "", 4 * 128 + 3 * 37);
  for (const std::size_t at : {813U, 830U}) {  // created, modified
    PutText(sector, at, kVolumeDate, kVolumeDate.size());
  }
  for (const std::size_t at : {847U, 864U}) {  // expires, takes effect: never set
    PutText(sector, at, kNoDate, kNoDate.size());
  }
  sector[881] = 1;  // file structure version
}

void PutBootRecordDescriptor(std::span<std::uint8_t> sector) {
  PutDescriptorHeader(sector, 0);
  PutText(sector, 7, kElToritoIdentifier, 32, '\0');
  disk::PutLittleEndian32(sector, 0x47, kBootCatalogSector);
}

void PutPathTables(std::vector<std::uint8_t>& image) {
  const std::span<std::uint8_t> little = CdSector(image, kLittleEndianPathTableSector);
  const std::span<std::uint8_t> big = CdSector(image, kBigEndianPathTableSector);
  for (const std::span<std::uint8_t> table : {little, big}) {
    table[0] = 1;  // the root's name: one byte, 0
  }
  disk::PutLittleEndian32(little, 2, kRootDirectorySector);
  disk::PutLittleEndian16(little, 6, 1);  // its parent: itself
  PutBigEndian32(big, 2, kRootDirectorySector);
  PutBigEndian16(big, 6, 1);
}

void PutRootDirectory(std::span<std::uint8_t> sector, std::uint32_t floppySize) {
  std::size_t at = 0;
  for (const std::string_view self : {kRootIdentifier, kParentIdentifier}) {
    at += PutDirectoryRecord(sector.subspan(at), kRootDirectorySector,
                             static_cast<std::uint32_t>(kCdSectorSize), kDirectoryFlag, self);
  }
  PutDirectoryRecord(sector.subspan(at), kFloppySector, floppySize, 0, kFloppyFileIdentifier);
}

void PutBootCatalog(std::span<std::uint8_t> sector, std::uint16_t floppySectors) {
  const std::span<std::uint8_t> validation = sector.first(kCatalogEntrySize);
  validation[0] = kValidationHeader;
  validation[30] = 0x55;
  validation[31] = 0xAA;
  // The 16-bit words of the validation entry sum to 0.
  std::uint16_t sum = 0;
  for (std::size_t at = 0; at < kCatalogEntrySize; at += 2) {
    sum = static_cast<std::uint16_t>(sum + disk::LittleEndian16(validation, at));
  }
  disk::PutLittleEndian16(validation, 28, static_cast<std::uint16_t>(-sum));

  const std::span<std::uint8_t> initial = sector.subspan(kCatalogEntrySize, kCatalogEntrySize);
  initial[0] = kBootable;
  initial[1] = kFloppy144Emulation;
  disk::PutLittleEndian16(initial, 6, kVirtualSectorsLoaded);
  disk::PutLittleEndian32(initial, 8, kFloppySector);

  const std::span<std::uint8_t> header = sector.subspan(2 * kCatalogEntrySize, kCatalogEntrySize);
  header[0] = kLastSectionHeader;
  header[1] = kEfiPlatform;
  disk::PutLittleEndian16(header, 2, 1);  // one entry
  const std::span<std::uint8_t> efi = sector.subspan(3 * kCatalogEntrySize, kCatalogEntrySize);
  efi[0] = kBootable;
  efi[1] = kNoEmulation;
  // Counted in 512-byte sectors, the whole floppy image.
  disk::PutLittleEndian16(efi, 6, floppySectors);
  disk::PutLittleEndian32(efi, 8, kFloppySector);
}

}  // namespace

std::vector<std::uint8_t> BuildCdImage(std::span<const std::uint8_t> floppyImage) {
  const std::uint32_t volumeSectors = kFloppySector + SectorsFor(floppyImage.size());
  std::vector<std::uint8_t> image(volumeSectors * kCdSectorSize);
  PutPrimaryDescriptor(CdSector(image, kPrimaryDescriptorSector), volumeSectors);
  PutBootRecordDescriptor(CdSector(image, kBootRecordSector));
  PutDescriptorHeader(CdSector(image, kTerminatorSector), 0xFF);
  PutPathTables(image);
  PutRootDirectory(CdSector(image, kRootDirectorySector),
                   static_cast<std::uint32_t>(floppyImage.size()));
  PutBootCatalog(CdSector(image, kBootCatalogSector),
                 static_cast<std::uint16_t>(floppyImage.size() / disk::kSectorSize));
  std::ranges::copy(floppyImage, image.begin() + kFloppySector * kCdSectorSize);
  return image;
}

}  // namespace corvane::rescue
