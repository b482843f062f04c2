// Builds the rescue floppy image and the CD image from a boot sector, a
// kernel file and the UEFI programs for \EFI\BOOT, for checks of both
// images with real tools.
// Usage: corvane_make_image BOOT-SECTOR KERNEL BOOTX64.EFI BOOTIA32.EFI FLOPPY.img CD.iso

#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "rescue/CdImage.h"
#include "rescue/FloppyImage.h"

namespace {

std::vector<std::uint8_t> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteFile(const char* path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::cerr << "usage: corvane_make_image BOOT-SECTOR KERNEL BOOTX64.EFI BOOTIA32.EFI "
                 "FLOPPY.img CD.iso\n";
    return 2;
  }
  const std::vector<std::uint8_t> bootSector = ReadFile(argv[1]);
  if (bootSector.size() < corvane::disk::kSectorSize) {
    std::cerr << argv[1] << ": shorter than a sector\n";
    return 1;
  }
  const std::vector<std::uint8_t> x64 = ReadFile(argv[3]);
  const std::vector<std::uint8_t> ia32 = ReadFile(argv[4]);
  const corvane::rescue::BootFile programs[] = {{"BOOTX64 EFI", x64}, {"BOOTIA32EFI", ia32}};
  const auto floppy = corvane::rescue::BuildFloppyImage(
      std::span(bootSector).first<corvane::disk::kSectorSize>(), ReadFile(argv[2]), programs);
  if (!floppy) {
    std::cerr << "the boot sector's BPB is not the 1.44 MB one, or the files are too large\n";
    return 1;
  }
  return WriteFile(argv[5], *floppy) && WriteFile(argv[6], corvane::rescue::BuildCdImage(*floppy))
             ? 0
             : 1;
}
