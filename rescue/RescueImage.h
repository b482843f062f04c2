#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "rescue/StatusSink.h"

namespace corvane::rescue {

// A rescue disk saved as a file, for a PC without a floppy drive: a CD image
// that boots the rescue floppy by El Torito floppy emulation, or the floppy
// image itself for a virtual machine.
enum class ImageKind { Cd, Floppy };

// The kind a file name's extension (.iso or .img, in any case) asks for.
std::optional<ImageKind> ImageKindOf(const std::string& path);

// path as it is when its extension names an image kind, else with kind's
// extension added.
std::string WithImageExtension(const std::string& path, ImageKind kind);

// Whether Windows would open path as a device rather than a file: a last
// component that is a DOS device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9,
// with or without an extension), or a \\.\ or \\?\GLOBALROOT device path.
bool NamesDevice(const std::string& path);

// "Corvane-PhysicalDrive<N>.iso" (or ".img"), the name offered for drive's image.
std::string DefaultImageName(int drive, ImageKind kind = ImageKind::Cd);

// The rescue floppy for drive, built whole in memory with the same steps,
// texts and checks as on a floppy; nothing, after telling the user, when it
// is no rescue disk.
std::optional<std::vector<std::uint8_t>> BuildRescueFloppy(platform::Platform& platform,
                                                           StatusSink& sink, int drive);

// Builds the rescue floppy for drive and saves it as path only once it is complete;
// path then becomes the full path it was saved as. False, after telling the
// user, when no image was saved.
bool FillRescueImage(platform::Platform& platform, StatusSink& sink, int drive, std::string& path);

// What to do with the image saved as path, for the message after the notice.
std::string ImageAdvice(const std::string& path);

}  // namespace corvane::rescue
