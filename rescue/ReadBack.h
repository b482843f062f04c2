#pragma once

#include <cstdint>
#include <span>

#include "rescue/FloppyImage.h"
#include "rescue/RescueMedium.h"
#include "rescue/StatusSink.h"

namespace corvane::rescue {

// Before the first raw write: the medium must be a 1.44 MB floppy laid out as
// the boot sector's standard BPB says, or the copies would land in its file
// system and the boot sector would look for the kernel where it is not. False,
// after telling the user, when it is not.
bool CheckFloppyFormat(RescueMedium& medium, StatusSink& sink);

// After the control buffer: reads back every sector written, the kernel as
// the boot sector will load it, which must be kernel byte for byte, and the
// UEFI programs in \EFI\BOOT as a FAT driver reads them, each within the
// clusters whose FAT entries the copies leave. False, after clearing the
// control buffer and telling the user, when the medium would fail the rescue.
bool VerifyRescueFloppy(RescueMedium& medium, std::span<const std::uint8_t> kernel,
                        std::span<const BootFile> uefiPrograms, StatusSink& sink);

}  // namespace corvane::rescue
