// A whole rescue disk creation against a disk, a boot sector image and failing
// platform calls described by the input, checked for what no run may ever do.
//
// Input: an options byte (bit 0 the kernel copy fails, bit 1 os\bs is
// missing, bit 2 it is one byte short, bits 3-4 the selected drive: 0, 1, -1,
// 0, bit 5 the floppy is left unformatted, bit 6 the rescue disk goes into an
// image file), the disk's size in sectors (32 bits), the 13 BPB bytes of os\bs
// from offset 11 (the rest of it is a 1.44 MB floppy's boot sector), a fault
// count and per fault its kind and the number of the call it hits, then
// sectors of the disk until the end: an LBA and a sector as SectorFrom reads
// it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "disk/SectorAccess.h"
#include "rescue/FloppyLayout.h"
#include "rescue/RescueDisk.h"
#include "rescue/RescueSteps.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzOracles.h"
#include "tests/support/DiskImages.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/RecordingSink.h"

namespace corvane::fuzzing {
namespace {

using testing::FakeDevice;
using testing::FakePlatform;
using testing::TransferFault;
using testing::WriteEvent;

constexpr std::uint64_t kFloppySectors = 2880;
constexpr std::size_t kBpbOffset = 11;
constexpr std::size_t kBpbSize = 13;
constexpr int kMaxFaults = 8;
constexpr std::size_t kKernelSize = 1000;
// The copies start at floppy sector 4, after the control sector 3.
constexpr int kFirstCopySector = 4;
constexpr std::size_t kMaxExtendedRecords = 100;
constexpr const char* kKernelCopy = "a:\\bootcore.bin";
// A full path, which the program writes as it is.
constexpr const char* kImageFile = "C:\\Rescue\\rescue.img";

bool HasGptEntry(const disk::Sector& masterBootRecord) {
  for (std::size_t entry = 0; entry < 4; ++entry) {
    if (masterBootRecord[446 + 16 * entry + 4] == 0xEE) {
      return true;
    }
  }
  return false;
}

class CreationCase {
 public:
  explicit CreationCase(FuzzInput& input) {
    const std::uint8_t options = input.Byte();
    platform.copyFails = (options & 1U) != 0;
    constexpr int kDrives[] = {0, 1, -1, 0};
    drive = kDrives[(options >> 3U) & 3U];
    diskSectors = input.Long();
    platform.AddDevice(disk::PhysicalDriveName(0), diskSectors);
    platform.AddDevice(disk::kFloppyDeviceName, kFloppySectors);
    bootSector = testing::FormattedBootSector(rescue::kStandardFloppyBpb);
    std::ranges::copy(input.Bytes(kBpbSize), bootSector.begin() + kBpbOffset);
    if ((options & 2U) == 0) {
      platform.files["os\\bs"].assign(bootSector.begin(),
                                      bootSector.end() - ((options & 4U) != 0 ? 1 : 0));
    }
    platform.files["os\\bootcore.bin"].assign(kKernelSize, 'K');
    const rescue::FloppyBpb layout = rescue::ExpectedFloppyBpb(bootSector);
    testing::ShipUefiPrograms(platform);
    if ((options & 32U) == 0 && layout == rescue::kStandardFloppyBpb) {
      testing::FormatRescueFloppy(platform);
    } else if ((options & 32U) == 0 && FitsTheFloppy(layout)) {
      testing::FormatFloppyWithKernel(Floppy(), layout, platform.files.at("os\\bootcore.bin"));
    }
    if ((options & 64U) != 0) {
      imagePath = kImageFile;
    }
    sector3Before = RescueSector(3);
    PutFaults(input);
    while (!input.Empty()) {
      const std::uint32_t lba = input.Long();
      Disk().PutSector(lba, SectorFrom(input));
    }
  }

  void RunAndCheck() {
    testing::RecordingSink sink(transcript, drive);
    rescue::CreateRescueDisk(platform, sink, imagePath);
    FUZZ_CHECK(platform.OpenHandles().empty());
    FUZZ_CHECK(sink.buttonEnabled);
    const int rootDirectory = rescue::FirstRootDirectorySector(bootSector);
    FUZZ_CHECK(std::ranges::all_of(
        platform.writes, [&](const WriteEvent& write) { return IsAllowed(write, rootDirectory); }));
    const disk::Sector control = RescueSector(3);
    const auto records = ControlRecords(control);
    // A failed run leaves no index, but may stop before it touches sector 3.
    FUZZ_CHECK(records || control == disk::Sector{} || control == sector3Before);
    if (records) {
      CheckCopies(*records);
    }
    if (std::ranges::count(transcript, "notice") != 0) {
      CheckComplete(records, rootDirectory);
    }
  }

 private:
  FakeDevice& Disk() { return platform.Device(disk::PhysicalDriveName(0)); }
  FakeDevice& Floppy() { return platform.Device(disk::kFloppyDeviceName); }

  // A layout whose FATs and root directory lie on a 1.44 MB floppy.
  static bool FitsTheFloppy(const rescue::FloppyBpb& bpb) {
    return bpb.sectorsPerCluster > 0 &&
           rescue::FirstRootDirectorySector(bpb) + rescue::RootDirectorySectors(bpb) < 64;
  }

  // A sector of the rescue floppy made: on the floppy, or in the image file
  // (all zeros when there is none).
  disk::Sector RescueSector(std::uint64_t sector) {
    if (!imagePath) {
      return Floppy().GetSector(sector);
    }
    disk::Sector data{};
    const auto file = platform.files.find(*imagePath);
    if (file != platform.files.end() && file->second.size() >= (sector + 1) * disk::kSectorSize) {
      std::copy_n(file->second.begin() + static_cast<std::ptrdiff_t>(sector * disk::kSectorSize),
                  disk::kSectorSize, data.begin());
    }
    return data;
  }

  void PutFaults(FuzzInput& input) {
    const int count = input.Byte() % (kMaxFaults + 1);
    for (int fault = 0; fault < count; ++fault) {
      const int kind = input.Byte() % 7;
      const int call = input.Byte() + 1;
      switch (kind) {
        case 0:
          platform.openFaults.insert(call);
          break;
        case 1:
          platform.positionFaults.insert(call);
          break;
        case 2:
        case 3:
          platform.readFaults[call] = kind == 2 ? TransferFault::Fail : TransferFault::Short;
          break;
        case 4:
        case 5:
          platform.writeFaults[call] = kind == 4 ? TransferFault::Fail : TransferFault::Short;
          break;
        default:
          platform.writeFaults[call] = TransferFault::Lost;
          break;
      }
    }
  }

  // Only the floppy and the kernel's copy change, and no copy nor the control
  // sector reaches the root directory, which holds the kernel's entry.
  static bool IsAllowed(const WriteEvent& write, int rootDirectory) {
    const auto isUefiCopy = [&write](const rescue::UefiProgramFile& file) {
      return write.target == file.floppyPath;
    };
    if (write.target == kKernelCopy || write.target == kImageFile ||
        std::ranges::any_of(rescue::kUefiProgramFiles, isUefiCopy)) {
      return true;
    }
    const std::uint64_t first = write.offset / disk::kSectorSize;
    const std::uint64_t last = (write.offset + write.size - 1) / disk::kSectorSize;
    return write.target == disk::kFloppyDeviceName &&
           (last == 0 || (first > 0 && last < static_cast<std::uint64_t>(rootDirectory)));
  }

  // Every LBA the control sector lists has its disk sector in its place.
  void CheckCopies(const std::vector<std::uint32_t>& records) {
    for (std::size_t k = 1; k < records.size(); ++k) {
      FUZZ_CHECK(RescueSector(kFirstCopySector + k - 1) == Disk().GetSector(records[k]));
    }
  }

  // Success is only reported for a floppy that holds everything: the kernel,
  // the boot sector and a copy of every record of the disk's chain.
  void CheckComplete(const std::optional<std::vector<std::uint32_t>>& records, int rootDirectory) {
    FUZZ_CHECK(imagePath ||
               (platform.files.contains(kKernelCopy) &&
                platform.files.at(kKernelCopy) == platform.files.at("os\\bootcore.bin")));
    FUZZ_CHECK(RescueSector(0) == bootSector);
    FUZZ_CHECK(!HasGptEntry(Disk().GetSector(0)));
    const std::size_t room = static_cast<std::size_t>(std::max(0, rootDirectory - 5));
    const std::size_t limit = std::min(room, kMaxExtendedRecords) + 2;
    const auto chain = WalkChain(
        [&](std::uint32_t lba) -> std::optional<disk::Sector> {
          if (lba >= diskSectors) {
            return std::nullopt;
          }
          return Disk().GetSector(lba);
        },
        limit);
    FUZZ_CHECK(chain && chain->size() < limit && !HasRepeats(*chain));
    std::vector<std::uint32_t> expected{static_cast<std::uint32_t>(drive)};
    expected.insert(expected.end(), chain->begin(), chain->end());
    FUZZ_CHECK(records == expected);
  }

  std::vector<std::string> transcript;
  FakePlatform platform{transcript};
  disk::Sector bootSector{};
  std::uint64_t diskSectors = 0;
  int drive = 0;
  std::optional<std::string> imagePath;
  disk::Sector sector3Before{};
};

}  // namespace
}  // namespace corvane::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  corvane::fuzzing::FuzzInput input(data, size);
  corvane::fuzzing::CreationCase(input).RunAndCheck();
  return 0;
}
