#include "rescue/RescueDisk.h"

#include "rescue/RescueImage.h"
#include "rescue/RescueMedium.h"

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

bool FillRescueFloppy(platform::Platform& platform, StatusSink& sink, int drive) {
  // Unfit files would leave a floppy that does not boot, so they are refused
  // before the user is asked for one.
  const auto files = ReadShippedFiles(platform, sink);
  if (!files) {
    return false;
  }
  sink.ShowMessage("Please insert a clean, formatted floppy disk.", MessageIcon::Information);
  if (!CopyKernel(platform, sink)) {
    return false;
  }
  platform.Sleep(kPauseAfterKernelCopyMs);
  FloppyDrive floppy(platform);
  return WriteRescueData(platform, floppy, sink, drive, *files);
}

// On a PC without a floppy drive: the file to save the rescue disk as, or
// nothing when the user declines.
std::optional<std::string> AskForImageFile(StatusSink& sink, int drive) {
  if (!sink.AskYesNo("This PC has no floppy drive.\nSave the rescue disk as an image file, to burn "
                     "to a CD or to use as a virtual machine's floppy?")) {
    return std::nullopt;
  }
  return sink.ChooseImageFile(DefaultImageName(drive));
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
  std::optional<std::string> path = imagePath;
  if (!path && !platform.HasFloppyDrive()) {
    path = AskForImageFile(sink, drive);
    if (!path) {
      sink.EnableCreateButton(true);
      return false;
    }
  }
  const bool made = path ? FillRescueImage(platform, sink, drive, *path)
                         : FillRescueFloppy(platform, sink, drive);
  if (made) {
    sink.SetStatus("Corvane Disk Successfully Created");
    sink.ShowSuccessNotice();
    if (path) {
      sink.ShowMessage(ImageAdvice(*path), MessageIcon::Information);
    }
  }
  sink.EnableCreateButton(true);
  return made;
}

}  // namespace corvane::rescue
