#pragma once

#include <optional>
#include <string>

#include "platform/Platform.h"
#include "rescue/RescueSteps.h"
#include "rescue/StatusSink.h"

namespace corvane::rescue {

inline constexpr const char* kKernelFloppyPath = "a:\\bootcore.bin";
// Gives the floppy drive time to finish with its file system before the raw writes.
inline constexpr unsigned kPauseAfterKernelCopyMs = 3000;

// Makes a rescue disk for the disk selected in the sink, telling the user
// every step and every failure: on the floppy in drive A:, or, when imagePath
// is given or the PC has no floppy drive and the user chooses one, as an
// image file. True when a rescue disk was made.
bool CreateRescueDisk(platform::Platform& platform, StatusSink& sink,
                      const std::optional<std::string>& imagePath = std::nullopt);

}  // namespace corvane::rescue
