#include "rescue/RescueDisk.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

#include "disk/UsbDrives.h"
#include "rescue/RescueImage.h"
#include "rescue/RescueMedium.h"
#include "rescue/RescueStick.h"

namespace corvane::rescue {
namespace {

// Without the kernel the floppy cannot boot, so a failed copy ends the run
// rather than producing a rescue disk that only looks complete.
bool CopyKernel(platform::Platform& platform, StatusSink& sink) {
  sink.SetStatus("Copying Kernel Image File...");
  if (!platform.CopyFileReplacing(kKernelSourcePath, kKernelFloppyPath)) {
    return Fail(sink, "Failed :: Error copying kernel image file !",
                "Failed to copy the rescue kernel file to the floppy disk !\nPlease check that the "
                "floppy disk is inserted in the drive and that os\\bootcore.bin exists.");
  }
  return true;
}

// UEFI firmware starts \EFI\BOOT\BOOTX64.EFI (or BOOTIA32.EFI) of a removable
// medium, so the floppy gets both through the file system, as the kernel.
bool CopyUefiPrograms(platform::Platform& platform, StatusSink& sink) {
  sink.SetStatus("Copying UEFI Rescue Programs...");
  const auto copied = [&platform](const UefiProgramFile& file) {
    return platform.CopyFileReplacing(file.shippedPath, file.floppyPath);
  };
  if (!std::ranges::all_of(
          kEfiFloppyFolders,
          [&platform](const char* folder) { return platform.CreateFolder(folder); }) ||
      !std::ranges::all_of(kUefiProgramFiles, copied)) {
    return Fail(sink, "Failed :: Error copying UEFI rescue programs !",
                "Failed to copy the UEFI rescue programs to \\EFI\\BOOT on the floppy disk !"
                "\nPlease check that the floppy disk is inserted in the drive and not "
                "write-protected.");
  }
  return true;
}

bool FillRescueFloppy(platform::Platform& platform, StatusSink& sink, int drive) {
  // Unfit files would leave a floppy that does not boot, so they are refused
  // before the user is asked for one.
  const auto files = ReadShippedFiles(platform, sink);
  if (!files) {
    return false;
  }
  sink.ShowMessage("Please insert a clean, formatted floppy disk.", MessageIcon::Information);
  if (!CopyKernel(platform, sink) || !CopyUefiPrograms(platform, sink)) {
    return false;
  }
  platform.Sleep(kPauseAfterKernelCopyMs);
  FloppyDrive floppy(platform);
  return WriteRescueData(platform, floppy, sink, drive, *files);
}

// Where the rescue disk goes when the PC has no floppy drive: the image file
// or the stick the user chose.
struct Destination {
  std::optional<std::string> imagePath;
  std::optional<disk::UsbDrive> stick;
};

std::vector<std::string> DestinationChoices(const std::vector<disk::UsbDrive>& sticks) {
  std::vector<std::string> choices;
  choices.reserve(sticks.size() + 2);
  std::ranges::transform(sticks, std::back_inserter(choices), [](const disk::UsbDrive& stick) {
    return "USB drive " + disk::UsbDriveText(stick);
  });
  choices.emplace_back("CD image file (.iso), to burn to a CD");
  choices.emplace_back("Floppy image file (.img), for a virtual machine");
  return choices;
}

// Nothing when the user declines at any step.
std::optional<Destination> AskForDestination(platform::Platform& platform, StatusSink& sink,
                                             int drive) {
  std::vector<disk::UsbDrive> sticks = disk::FindUsbDrives(platform, drive);
  const auto choice = sink.ChooseDestination(DestinationChoices(sticks));
  if (!choice) {
    return std::nullopt;
  }
  if (*choice < sticks.size()) {
    disk::UsbDrive& stick = sticks[*choice];
    if (!sink.AskYesNo(EraseQuestion(stick))) {
      return std::nullopt;
    }
    return Destination{std::nullopt, std::move(stick)};
  }
  const ImageKind kind = *choice == sticks.size() ? ImageKind::Cd : ImageKind::Floppy;
  auto path = sink.ChooseImageFile(DefaultImageName(drive, kind));
  if (!path) {
    return std::nullopt;
  }
  return Destination{std::move(path), std::nullopt};
}

bool FillRescueStick(platform::Platform& platform, StatusSink& sink, int drive,
                     const disk::UsbDrive& stick) {
  const auto floppy = BuildRescueFloppy(platform, sink, drive);
  return floppy && WriteRescueStick(platform, sink, drive, stick, *floppy);
}

// An image's path becomes the full path it was saved as, which the advice names.
// cppcheck-suppress constParameter
bool Fill(platform::Platform& platform, StatusSink& sink, int drive, Destination& destination) {
  if (destination.stick) {
    return FillRescueStick(platform, sink, drive, *destination.stick);
  }
  if (destination.imagePath) {
    return FillRescueImage(platform, sink, drive, *destination.imagePath);
  }
  return FillRescueFloppy(platform, sink, drive);
}

std::string Advice(const Destination& destination) {
  return destination.stick ? StickAdvice(*destination.stick) : ImageAdvice(*destination.imagePath);
}

}  // namespace

bool CreateRescueDisk(platform::Platform& platform, StatusSink& sink,
                      const std::optional<std::string>& imagePath) {
  const int drive = sink.SelectedDrive();
  if (drive < 0) {
    sink.ShowMessage("Please select a disk for which rescue disk is to be created !",
                     MessageIcon::Information);
    return false;
  }
  // The disabled button is the only guard against a second run while this one
  // is still going; every way out below enables it again.
  sink.EnableCreateButton(false);
  std::optional<Destination> destination = Destination{imagePath, std::nullopt};
  if (!imagePath && !platform.HasFloppyDrive()) {
    destination = AskForDestination(platform, sink, drive);
    if (!destination) {
      sink.EnableCreateButton(true);
      return false;
    }
  }
  const bool made = Fill(platform, sink, drive, *destination);
  if (made) {
    sink.SetStatus("Corvane Disk Successfully Created");
    sink.ShowSuccessNotice();
    if (destination->imagePath || destination->stick) {
      sink.ShowMessage(Advice(*destination), MessageIcon::Information);
    }
  }
  sink.EnableCreateButton(true);
  return made;
}

}  // namespace corvane::rescue
