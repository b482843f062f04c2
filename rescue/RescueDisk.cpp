#include "rescue/RescueDisk.h"

#include "rescue/ControlBuffer.h"
#include "rescue/FloppyLayout.h"
#include "rescue/ReadBack.h"
#include "rescue/RescueRecords.h"

namespace corvane::rescue {
namespace {

bool Fail(StatusSink& sink, const char* status, const char* message) {
  sink.SetStatus(status);
  sink.ShowMessage(message, MessageIcon::Exclamation);
  return false;
}

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

bool WriteBootSector(platform::Platform& platform, RescueMedium& medium, StatusSink& sink,
                     disk::Sector& bootSector) {
  sink.SetStatus("Writing disk Boot Sector...");
  const auto bytesRead = platform.ReadFileStart(kBootSectorImagePath, bootSector);
  if (!bytesRead) {
    return Fail(sink, "Failed :: Boot sector image file not found !",
                "Failed to read boot sector image file !");
  }
  if (*bytesRead < bootSector.size()) {
    return Fail(sink, "Failed :: Error reading boot sector image !",
                "Failed to read boot sector image file !");
  }
  // A BPB that starts the root directory before the MBR's copy would have the
  // control buffer and the copies overwrite it, and with it the kernel's entry.
  if (FirstRootDirectorySector(bootSector) <= kMasterBootRecordFloppySector) {
    return Fail(sink, "Failed :: Error reading boot sector image !",
                "The boot sector image's BPB leaves no room for the rescue data before the "
                "floppy's root directory.\nNo rescue disk was created.");
  }
  if (!CheckFloppyFormat(medium, bootSector, sink)) {
    return false;
  }
  if (medium.WriteSector(kBootSectorFloppySector, bootSector) != disk::kResultOk) {
    return Fail(sink, "Failed :: Error writing floppy disk sectors !",
                "Failed to write boot sector to floppy disk !\nPlease check that the floppy disk "
                "is inserted in the drive.");
  }
  return true;
}

bool FillRescueFloppy(platform::Platform& platform, StatusSink& sink, int drive) {
  sink.ShowMessage("Please insert a clean, formatted floppy disk.", MessageIcon::Information);
  if (!CopyKernel(platform, sink)) {
    return false;
  }
  platform.Sleep(kPauseAfterKernelCopyMs);
  // The boot sector's BPB tells where the root directory, which holds the
  // kernel file's entry, begins: the copies must stop short of it.
  FloppyDrive floppy(platform);
  disk::Sector bootSector{};
  return WriteBootSector(platform, floppy, sink, bootSector) &&
         WriteRescueRecords(platform, floppy, drive, sink,
                            ExtendedRecordRoom(FirstRootDirectorySector(bootSector))) &&
         VerifyRescueFloppy(platform, floppy, bootSector, sink);
}

}  // namespace

void CreateRescueDisk(platform::Platform& platform, StatusSink& sink) {
  const int drive = sink.SelectedDrive();
  if (drive < 0) {
    sink.ShowMessage("Please select a disk for which rescue disk is to be created !",
                     MessageIcon::Information);
    return;
  }
  // The disabled button is the only guard against a second run while this one
  // is still going; every way out below enables it again.
  sink.EnableCreateButton(false);
  if (FillRescueFloppy(platform, sink, drive)) {
    sink.SetStatus("Corvane Disk Successfully Created");
    sink.ShowSuccessNotice();
  }
  sink.EnableCreateButton(true);
}

}  // namespace corvane::rescue
