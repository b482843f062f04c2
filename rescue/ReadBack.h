#pragma once

#include "disk/Sector.h"
#include "platform/Platform.h"
#include "rescue/RescueMedium.h"
#include "rescue/StatusSink.h"

namespace corvane::rescue {

// Before the first raw write: the medium must be laid out as the boot sector's
// BPB says, or the copies would land in its file system and the boot sector
// would look for the kernel where it is not. False, after telling the user,
// when it is not.
bool CheckFloppyFormat(RescueMedium& medium, const disk::Sector& bootSector, StatusSink& sink);

// After the control buffer: reads back every sector written and the kernel as
// the boot sector will load it. False, after clearing the control buffer and
// telling the user, when the medium would fail the rescue.
bool VerifyRescueFloppy(platform::Platform& platform, RescueMedium& medium,
                        const disk::Sector& bootSector, StatusSink& sink);

}  // namespace corvane::rescue
