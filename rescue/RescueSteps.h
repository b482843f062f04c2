#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disk/Sector.h"
#include "platform/Platform.h"
#include "rescue/RescueMedium.h"
#include "rescue/StatusSink.h"

namespace corvane::rescue {

inline constexpr const char* kKernelSourcePath = "os\\bootcore.bin";
inline constexpr const char* kBootSectorImagePath = "os\\bs";
// Ends every message of a run that stopped before a rescue disk was made.
inline constexpr const char* kNoRescueDisk = "\nNo rescue disk was created.";

// Sets the failure status, shows its message, and returns false.
bool Fail(StatusSink& sink, const char* status, const std::string& message);

// The two files shipped beside the program, as a rescue floppy gets them.
struct ShippedFiles {
  disk::Sector bootSector{};
  std::vector<std::uint8_t> kernel;
};

// Reads os\bootcore.bin and the first 512 bytes of os\bs, and checks them
// before anything touches the floppy or the image: a kernel the boot sector
// can load (not empty, at most kKernelLoadLimit bytes) and a boot sector with
// its 55 AA signature and the standard 1.44 MB BPB, the layout the copies and
// the read-back rely on. Nothing, after telling the user with the failure
// status of that file's step, when either is unfit.
std::optional<ShippedFiles> ReadShippedFiles(platform::Platform& platform, StatusSink& sink);

// Everything a rescue floppy gets after its kernel file, the same on a floppy
// and in an image: the boot sector, the copies and the control buffer, then
// the read-back against the files. False, after telling the user, when the
// medium is no rescue disk.
bool WriteRescueData(platform::Platform& platform, RescueMedium& medium, StatusSink& sink,
                     int drive, const ShippedFiles& files);

}  // namespace corvane::rescue
