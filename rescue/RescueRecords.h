#pragma once

#include "platform/Platform.h"
#include "rescue/StatusSink.h"

namespace corvane::rescue {

// Copies the MBR and every EBR of drive to the floppy and writes the control
// buffer last, so that an interrupted run leaves no valid index behind.
// Returns false, after telling the user why, when the copy is incomplete.
bool WriteRescueRecords(platform::Platform& platform, int drive, StatusSink& sink);

}  // namespace corvane::rescue
