#include "rescue/RescueImage.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <vector>

#include "rescue/CdImage.h"
#include "rescue/FloppyImage.h"
#include "rescue/RescueMedium.h"
#include "rescue/RescueSteps.h"

namespace corvane::rescue {
namespace {

bool SameLetter(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(), SameLetter);
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), SameLetter);
}

bool EqualIgnoringCase(const std::string& text, const std::string& other) {
  return text.size() == other.size() && StartsWithIgnoringCase(text, other);
}

// The last component's name before its first dot, without the spaces that
// Windows drops before an extension: "COM1 .iso" is COM1.
std::string DeviceCandidate(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/:");
  std::string name = path.substr(separator == std::string::npos ? 0 : separator + 1);
  name.resize(std::min(name.size(), name.find('.')));
  name.resize(name.find_last_not_of(' ') + 1);
  return name;
}

bool IsDosDeviceName(const std::string& name) {
  const auto isNamed = [&name](const char* device) { return EqualIgnoringCase(name, device); };
  const bool numbered =
      name.size() == 4 &&
      (StartsWithIgnoringCase(name, "COM") || StartsWithIgnoringCase(name, "LPT")) &&
      name[3] >= '1' && name[3] <= '9';
  return numbered || std::ranges::any_of(
                         std::initializer_list<const char*>{"CON", "PRN", "AUX", "NUL"}, isNamed);
}

// Replaces path by the full path the image goes to, once it is sure that
// Windows writes a file there: neither a device nor a path too long for the
// temporary file beside it.
bool ResolveImagePath(platform::Platform& platform, StatusSink& sink, std::string& path) {
  if (NamesDevice(path)) {
    return Fail(sink, "Failed :: Error writing image file !",
                path + " names a device, not a file. Choose another file name.");
  }
  const auto fullPath = platform.ReplaceableFilePath(path);
  if (!fullPath) {
    return Fail(sink, "Failed :: Error writing image file !",
                "The path " + path +
                    " is too long for Windows to save the image there. Choose a shorter file "
                    "name or a folder nearer the drive's root." +
                    kNoRescueDisk);
  }
  path = *fullPath;
  return true;
}

bool SaveImage(platform::Platform& platform, StatusSink& sink, const std::string& path,
               const std::vector<std::uint8_t>& floppy) {
  const bool saved = ImageKindOf(path) == ImageKind::Cd
                         ? platform.WriteFileReplacing(path, BuildCdImage(floppy))
                         : platform.WriteFileReplacing(path, floppy);
  return saved || Fail(sink, "Failed :: Error writing image file !",
                       "Failed to write the image file " + path + " !" + kNoRescueDisk);
}

}  // namespace

std::optional<ImageKind> ImageKindOf(const std::string& path) {
  if (EndsWithIgnoringCase(path, ".iso")) {
    return ImageKind::Cd;
  }
  if (EndsWithIgnoringCase(path, ".img")) {
    return ImageKind::Floppy;
  }
  return std::nullopt;
}

std::string WithImageExtension(const std::string& path, ImageKind kind) {
  if (ImageKindOf(path)) {
    return path;
  }
  return path + (kind == ImageKind::Cd ? ".iso" : ".img");
}

bool NamesDevice(const std::string& path) {
  return StartsWithIgnoringCase(path, "\\\\.\\") ||
         StartsWithIgnoringCase(path, "\\\\?\\GLOBALROOT") ||
         IsDosDeviceName(DeviceCandidate(path));
}

std::string DefaultImageName(int drive, ImageKind kind) {
  return WithImageExtension("Corvane-PhysicalDrive" + std::to_string(drive), kind);
}

std::optional<std::vector<std::uint8_t>> BuildRescueFloppy(platform::Platform& platform,
                                                           StatusSink& sink, int drive) {
  const auto files = ReadShippedFiles(platform, sink);
  if (!files) {
    return std::nullopt;
  }
  // The same steps as on a floppy, which take a moment there.
  sink.SetStatus("Copying Kernel Image File...");
  sink.SetStatus("Copying UEFI Rescue Programs...");
  // The checked files are what BuildFloppyImage takes, so it always builds.
  FloppyImageMedium medium(
      BuildFloppyImage(files->bootSector, files->kernel, UefiBootFiles(*files)).value());
  if (!WriteRescueData(platform, medium, sink, drive, *files)) {
    return std::nullopt;
  }
  return medium.Image();
}

bool FillRescueImage(platform::Platform& platform, StatusSink& sink, int drive, std::string& path) {
  if (!ResolveImagePath(platform, sink, path)) {
    return false;
  }
  const auto floppy = BuildRescueFloppy(platform, sink, drive);
  return floppy && SaveImage(platform, sink, path, *floppy);
}

std::string ImageAdvice(const std::string& path) {
  if (ImageKindOf(path) == ImageKind::Cd) {
    return "The rescue disk was saved as the CD image\n" + path +
           "\n\nBurn it to a CD as a disc image (not as a file on the CD) and keep the CD with "
           "this PC. When the partitions of this disk are damaged, boot the PC from that CD. "
           "(Written "
           "to a USB stick, a CD image does not boot: a stick takes the floppy image.)";
  }
  return "The rescue disk was saved as the floppy image\n" + path +
         "\n\nAttach it to the virtual machine as its floppy disk, or write it to a floppy disk, "
         "or "
         "with a disk image writer to a USB stick. When the partitions of this disk are damaged, "
         "boot from it.";
}

}  // namespace corvane::rescue
