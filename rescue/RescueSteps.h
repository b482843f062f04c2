#pragma once

#include <string>

#include "disk/Sector.h"
#include "platform/Platform.h"
#include "rescue/RescueMedium.h"
#include "rescue/StatusSink.h"

namespace corvane::rescue {

inline constexpr const char* kKernelSourcePath = "os\\bootcore.bin";
inline constexpr const char* kBootSectorImagePath = "os\\bs";

// Sets the failure status, shows its message, and returns false.
bool Fail(StatusSink& sink, const char* status, const std::string& message);

// Reads os\bs, refusing one too short to be a boot sector or whose BPB puts
// the root directory where the rescue data goes.
bool ReadBootSectorImage(platform::Platform& platform, StatusSink& sink, disk::Sector& bootSector);

// Everything a rescue floppy gets after its kernel file, the same on a floppy
// and in an image: the boot sector, the copies and the control buffer, then
// the read-back. False, after telling the user, when the medium is no rescue
// disk.
bool WriteRescueData(platform::Platform& platform, RescueMedium& medium, StatusSink& sink,
                     int drive, const disk::Sector& bootSector);

}  // namespace corvane::rescue
