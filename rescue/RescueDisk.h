#pragma once

#include "platform/Platform.h"
#include "rescue/StatusSink.h"

namespace corvane::rescue {

inline constexpr const char* kKernelSourcePath = "os\\bootcore.bin";
inline constexpr const char* kKernelFloppyPath = "a:\\bootcore.bin";
inline constexpr const char* kBootSectorImagePath = "os\\bs";
// Gives the floppy drive time to finish with its file system before the raw writes.
inline constexpr unsigned kPauseAfterKernelCopyMs = 3000;

// Turns the floppy in drive A: into a rescue disk for the disk selected in the
// sink, telling the user every step and every failure.
void CreateRescueDisk(platform::Platform& platform, StatusSink& sink);

}  // namespace corvane::rescue
