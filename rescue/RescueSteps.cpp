#include "rescue/RescueSteps.h"

#include "rescue/ControlBuffer.h"
#include "rescue/FloppyLayout.h"
#include "rescue/ReadBack.h"
#include "rescue/RescueRecords.h"

namespace corvane::rescue {
namespace {

bool WriteBootSector(RescueMedium& medium, StatusSink& sink, const disk::Sector& bootSector) {
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

}  // namespace

bool Fail(StatusSink& sink, const char* status, const std::string& message) {
  sink.SetStatus(status);
  sink.ShowMessage(message, MessageIcon::Exclamation);
  return false;
}

bool ReadBootSectorImage(platform::Platform& platform, StatusSink& sink, disk::Sector& bootSector) {
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
  return true;
}

bool WriteRescueData(platform::Platform& platform, RescueMedium& medium, StatusSink& sink,
                     int drive, const disk::Sector& bootSector) {
  // The boot sector's BPB tells where the root directory, which holds the
  // kernel file's entry, begins: the copies must stop short of it.
  return WriteBootSector(medium, sink, bootSector) &&
         WriteRescueRecords(platform, medium, drive, sink,
                            ExtendedRecordRoom(FirstRootDirectorySector(bootSector))) &&
         VerifyRescueFloppy(platform, medium, bootSector, sink);
}

}  // namespace corvane::rescue
