#pragma once

#include "platform/Platform.h"
#include "rescue/RescueMedium.h"
#include "rescue/StatusSink.h"

namespace corvane::rescue {

// Copies the MBR and every EBR of drive to the floppy medium and writes the control
// buffer last; sector 3 is cleared before the first copy, so that a run that
// stops half-way leaves no index, not even an older one, over its copies.
// extendedRecordRoom is how many EBR copies the floppy holds before its root
// directory. Returns false, after telling the user why, when the copy is
// incomplete.
bool WriteRescueRecords(platform::Platform& platform, RescueMedium& medium, int drive,
                        StatusSink& sink, int extendedRecordRoom);

}  // namespace corvane::rescue
