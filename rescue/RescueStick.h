#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "disk/UsbDrives.h"
#include "platform/Platform.h"
#include "rescue/StatusSink.h"

namespace corvane::rescue {

// The bytes zeroed at a stick's end, where an old GPT keeps its backup, so
// that no firmware or Windows mistakes the rescue stick for that old disk.
inline constexpr std::uint64_t kStickTailBytes = 1U << 20U;

// The question before anything on the stick is touched.
std::string EraseQuestion(const disk::UsbDrive& stick);

// Writes a rescue floppy's image to the USB stick the user chose, once it is
// sure that the stick is still that one and still no disk that rescuedDrive
// or Windows lies on. False, after telling the user, unless it was written.
bool WriteRescueStick(platform::Platform& platform, StatusSink& sink, int rescuedDrive,
                      const disk::UsbDrive& stick, std::span<const std::uint8_t> image);

// Writes the image to the stick from its first sector, as the image is,
// zeroes the stick's last kStickTailBytes, and reads all of it back. Every
// volume on it is locked and dismounted first and stays locked until the
// end. False, after telling the user, unless every byte read back as written.
bool WriteStickImage(platform::Platform& platform, StatusSink& sink, const disk::UsbDrive& stick,
                     std::span<const std::uint8_t> image);

// What to do with the stick, for the message after the notice.
std::string StickAdvice(const disk::UsbDrive& stick);

}  // namespace corvane::rescue
