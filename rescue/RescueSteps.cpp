#include "rescue/RescueSteps.h"

#include "partition/PartitionTable.h"
#include "rescue/ControlBuffer.h"
#include "rescue/FloppyImage.h"
#include "rescue/FloppyLayout.h"
#include "rescue/ReadBack.h"
#include "rescue/RescueRecords.h"

namespace corvane::rescue {
namespace {

constexpr const char* kKernelUnfit = "Failed :: Error copying kernel image file !";
constexpr const char* kBootSectorUnfit = "Failed :: Error reading boot sector image !";
constexpr const char* kUefiProgramUnfit = "Failed :: Error reading UEFI rescue program !";

std::string NoRescueDisk(const char* reason) { return std::string(reason) + kNoRescueDisk; }

bool ReadKernel(platform::Platform& platform, StatusSink& sink, std::vector<std::uint8_t>& kernel) {
  // One byte more than the boot sector loads tells a kernel too large.
  kernel.resize(kKernelLoadLimit + 1);
  const auto size = platform.ReadFileStart(kKernelSourcePath, kernel);
  if (!size) {
    return Fail(sink, kKernelUnfit,
                NoRescueDisk("Failed to read the rescue kernel file os\\bootcore.bin !"));
  }
  if (*size == 0) {
    return Fail(sink, kKernelUnfit,
                NoRescueDisk("The rescue kernel file os\\bootcore.bin is empty."));
  }
  if (*size > kKernelLoadLimit) {
    return Fail(sink, kKernelUnfit,
                NoRescueDisk("The rescue kernel file os\\bootcore.bin is larger than the boot "
                             "sector can load."));
  }
  kernel.resize(*size);
  return true;
}

bool ReadBootSector(platform::Platform& platform, StatusSink& sink, disk::Sector& bootSector) {
  const auto size = platform.ReadFileStart(kBootSectorImagePath, bootSector);
  if (!size) {
    return Fail(sink, "Failed :: Boot sector image file not found !",
                NoRescueDisk("Failed to read the boot sector image file os\\bs !"));
  }
  if (*size < bootSector.size()) {
    return Fail(sink, kBootSectorUnfit,
                NoRescueDisk("Failed to read 512 bytes from the boot sector image file os\\bs !"));
  }
  if (!partition::HasBootSignature(bootSector)) {
    return Fail(sink, kBootSectorUnfit,
                NoRescueDisk("The boot sector image file os\\bs does not end with the boot "
                             "signature 55 AA."));
  }
  // The boot sector falls back to its BPB's geometry on a floppy drive whose
  // BIOS tells none, and finds the kernel by the BPB's layout; the copies and
  // the read-back place every sector by the same layout, so any other BPB
  // makes a floppy that does not boot.
  if (ReadFloppyBpb(bootSector) != kStandardFloppyBpb) {
    return Fail(sink, kBootSectorUnfit,
                NoRescueDisk("The BPB of the boot sector image file os\\bs does not describe a "
                             "1.44 MB floppy."));
  }
  return true;
}

// A UEFI program is a PE executable, which starts with "MZ"; anything else
// would leave a rescue disk that UEFI PCs do not start.
bool ReadUefiProgram(platform::Platform& platform, StatusSink& sink, const char* path,
                     std::vector<std::uint8_t>& program) {
  // One byte more than the rescue reaches tells a program too large.
  program.resize(std::size_t{kReachableClusters} * disk::kSectorSize + 1);
  const auto size = platform.ReadFileStart(path, program);
  const std::string name(path);
  if (!size) {
    return Fail(
        sink, kUefiProgramUnfit,
        NoRescueDisk(("Failed to read the UEFI rescue program file " + name + " !").c_str()));
  }
  program.resize(*size);
  if (*size < 2 || program[0] != 'M' || program[1] != 'Z') {
    return Fail(
        sink, kUefiProgramUnfit,
        NoRescueDisk(("The UEFI rescue program file " + name + " is not a UEFI program.").c_str()));
  }
  return true;
}

bool ReadUefiPrograms(platform::Platform& platform, StatusSink& sink, ShippedFiles& files) {
  std::vector<std::size_t> sizes;
  for (const UefiProgramFile& file : kUefiProgramFiles) {
    if (!ReadUefiProgram(platform, sink, file.shippedPath, files.uefiPrograms.emplace_back())) {
      return false;
    }
    sizes.push_back(files.uefiPrograms.back().size());
  }
  if (kFirstDataCluster + RescueFileClusters(files.kernel.size(), sizes) > kReachableClusters) {
    return Fail(sink, kUefiProgramUnfit,
                NoRescueDisk("The rescue kernel and the UEFI rescue programs in os\\ together "
                             "are larger than a rescue floppy can start."));
  }
  return true;
}

bool WriteBootSector(RescueMedium& medium, StatusSink& sink, const disk::Sector& bootSector) {
  sink.SetStatus("Writing disk Boot Sector...");
  if (!CheckFloppyFormat(medium, sink)) {
    return false;
  }
  if (medium.WriteSector(kBootSectorFloppySector, bootSector) != disk::kResultOk) {
    return Fail(sink, "Failed :: Error writing floppy disk sectors !",
                "Failed to write boot sector to floppy disk !\nPlease check that the floppy disk "
                "is inserted in the drive.");
  }
  return true;
}

}  // namespace

bool Fail(StatusSink& sink, const char* status, const std::string& message) {
  sink.SetStatus(status);
  sink.ShowMessage(message, MessageIcon::Exclamation);
  return false;
}

std::optional<ShippedFiles> ReadShippedFiles(platform::Platform& platform, StatusSink& sink) {
  ShippedFiles files;
  if (!ReadKernel(platform, sink, files.kernel) ||
      !ReadBootSector(platform, sink, files.bootSector) ||
      !ReadUefiPrograms(platform, sink, files)) {
    return std::nullopt;
  }
  return files;
}

std::vector<BootFile> UefiBootFiles(const ShippedFiles& files) {
  std::vector<BootFile> bootFiles;
  for (std::size_t k = 0; k < files.uefiPrograms.size(); ++k) {
    bootFiles.push_back({kUefiProgramFiles[k].directoryName, files.uefiPrograms[k]});
  }
  return bootFiles;
}

bool WriteRescueData(platform::Platform& platform, RescueMedium& medium, StatusSink& sink,
                     int drive, const ShippedFiles& files) {
  // The copies must stop short of the root directory, which holds the kernel
  // file's entry.
  return WriteBootSector(medium, sink, files.bootSector) &&
         WriteRescueRecords(platform, medium, drive, sink,
                            ExtendedRecordRoom(kStandardRootDirectorySector)) &&
         VerifyRescueFloppy(medium, files.kernel, UefiBootFiles(files), sink);
}

}  // namespace corvane::rescue
