#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disk/Sector.h"
#include "platform/Platform.h"
#include "rescue/FloppyImage.h"
#include "rescue/RescueMedium.h"
#include "rescue/StatusSink.h"

namespace corvane::rescue {

inline constexpr const char* kKernelSourcePath = "os\\bootcore.bin";
inline constexpr const char* kBootSectorImagePath = "os\\bs";
// Ends every message of a run that stopped before a rescue disk was made.
inline constexpr const char* kNoRescueDisk = "\nNo rescue disk was created.";

// Sets the failure status, shows its message, and returns false.
bool Fail(StatusSink& sink, const char* status, const std::string& message);

// A UEFI rescue program: where it is shipped, where it goes on the floppy
// (\EFI\BOOT, where UEFI firmware looks on a removable medium), and the 8.3
// name of its directory entry there.
struct UefiProgramFile {
  const char* shippedPath;
  const char* floppyPath;
  std::string_view directoryName;
};

inline constexpr UefiProgramFile kUefiProgramFiles[] = {
    {"os\\efi\\bootx64.efi", "a:\\EFI\\BOOT\\BOOTX64.EFI", "BOOTX64 EFI"},
    {"os\\efi\\bootia32.efi", "a:\\EFI\\BOOT\\BOOTIA32.EFI", "BOOTIA32EFI"}};
inline constexpr const char* kEfiFloppyFolders[] = {"a:\\EFI", "a:\\EFI\\BOOT"};

// The files shipped beside the program, as a rescue floppy gets them.
struct ShippedFiles {
  disk::Sector bootSector{};
  std::vector<std::uint8_t> kernel;
  // In the order of kUefiProgramFiles.
  std::vector<std::vector<std::uint8_t>> uefiPrograms;
};

// Reads os\bootcore.bin, the first 512 bytes of os\bs and the UEFI rescue
// programs, and checks them before anything touches the floppy or the image:
// a kernel the boot sector can load (not empty, at most kKernelLoadLimit
// bytes), a boot sector with its 55 AA signature and the standard 1.44 MB
// BPB, the layout the copies and the read-back rely on, and programs that are
// Windows-format executables, all together within the clusters the rescue
// reaches. Nothing, after telling the user with the failure status of that
// file's step, when one is unfit.
std::optional<ShippedFiles> ReadShippedFiles(platform::Platform& platform, StatusSink& sink);

// The UEFI programs as the floppy's \EFI\BOOT holds them.
std::vector<BootFile> UefiBootFiles(const ShippedFiles& files);

// Everything a rescue floppy gets after its kernel file, the same on a floppy
// and in an image: the boot sector, the copies and the control buffer, then
// the read-back against the files. False, after telling the user, when the
// medium is no rescue disk.
bool WriteRescueData(platform::Platform& platform, RescueMedium& medium, StatusSink& sink,
                     int drive, const ShippedFiles& files);

}  // namespace corvane::rescue
