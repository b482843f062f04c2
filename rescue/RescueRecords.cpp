#include "rescue/RescueRecords.h"

#include <set>
#include <string>

#include "disk/SectorAccess.h"
#include "partition/BootRecordReader.h"
#include "rescue/ControlBuffer.h"

namespace corvane::rescue {
namespace {

using partition::BootRecordReader;
using partition::SectorRecord;

enum class CopyOutcome { Copied, WriteFailed, ChainInvalid };

// Puts each copied record into the control buffer and onto the next floppy
// sector, and refuses a chain the buffer cannot index or that loops.
class RecordCopier {
 public:
  RecordCopier(platform::Platform& platform, StatusSink& sink, int drive)
      : platform(platform), sink(sink) {
    PutControlRecord(control, 0, static_cast<std::uint32_t>(drive));
  }

  CopyOutcome CopyMasterBootRecord(const SectorRecord& record) {
    return Copy(record, "Writing Master Boot Record...");
  }

  CopyOutcome CopyExtendedRecord(const SectorRecord& record) {
    // Checked before anything of this record is put, so the control buffer
    // never overflows and a loop ends at its first repeated LBA.
    if (extendedCount == kMaxExtendedRecords || copiedLbas.contains(record.lba)) {
      return CopyOutcome::ChainInvalid;
    }
    ++extendedCount;
    return Copy(record, "Writing Partition Boot Record #" + std::to_string(extendedCount) + "...");
  }

  bool WriteControlBuffer() {
    sink.SetStatus("Writing Control Buffer...");
    return disk::WriteFloppySectors(platform, kControlBufferFloppySector, 1, control) ==
           disk::kResultOk;
  }

 private:
  CopyOutcome Copy(const SectorRecord& record, const std::string& status) {
    copiedLbas.insert(record.lba);
    PutControlRecord(control, nextOffset, record.lba);
    nextOffset += kControlRecordSize;
    sink.SetStatus(status);
    const int floppySector = nextFloppySector++;
    return disk::WriteFloppySectors(platform, floppySector, 1, record.data) == disk::kResultOk
               ? CopyOutcome::Copied
               : CopyOutcome::WriteFailed;
  }

  platform::Platform& platform;
  StatusSink& sink;
  ControlBuffer control{};
  int nextOffset = kControlRecordSize;
  int nextFloppySector = kMasterBootRecordFloppySector;
  int extendedCount = 0;
  std::set<std::uint32_t> copiedLbas;
};

bool ReportMasterBootRecordFailure(StatusSink& sink) {
  sink.SetStatus("Reading Master Boot Record failed !");
  sink.ShowMessage("Failed to read Master Boot Record of your drive !", MessageIcon::Exclamation);
  return false;
}

bool ReportCopyFailure(StatusSink& sink, CopyOutcome outcome) {
  if (outcome == CopyOutcome::ChainInvalid) {
    sink.SetStatus("Failed :: Invalid partition chain !");
    sink.ShowMessage(
        "The chain of logical partitions on your drive loops back on itself or holds more than "
        "100 partitions.\nNo rescue disk was created.",
        MessageIcon::Exclamation);
  } else {
    sink.SetStatus("Failed :: Error writing floppy disk sectors !");
  }
  return false;
}

// The end of the chain, a missing extended partition and an unreadable EBR all
// end the walk without failing the stage: what was copied so far is still a
// usable rescue disk.
CopyOutcome CopyExtendedChain(BootRecordReader& reader, RecordCopier& copier) {
  SectorRecord record{};
  for (int result = reader.ReadFirstExtendedRecord(record); result == disk::kResultOk;
       result = reader.ReadNextExtendedRecord(record)) {
    if (const CopyOutcome outcome = copier.CopyExtendedRecord(record);
        outcome != CopyOutcome::Copied) {
      return outcome;
    }
  }
  return CopyOutcome::Copied;
}

}  // namespace

bool WriteRescueRecords(platform::Platform& platform, int drive, StatusSink& sink) {
  RecordCopier copier(platform, sink, drive);
  BootRecordReader reader(platform, drive);
  SectorRecord masterBootRecord{};

  sink.SetStatus("Reading Master Boot Record...");
  if (reader.ReadMasterBootRecord(masterBootRecord) != disk::kResultOk) {
    return ReportMasterBootRecordFailure(sink);
  }
  if (const CopyOutcome outcome = copier.CopyMasterBootRecord(masterBootRecord);
      outcome != CopyOutcome::Copied) {
    return ReportCopyFailure(sink, outcome);
  }
  if (const CopyOutcome outcome = CopyExtendedChain(reader, copier);
      outcome != CopyOutcome::Copied) {
    return ReportCopyFailure(sink, outcome);
  }
  if (!copier.WriteControlBuffer()) {
    return ReportCopyFailure(sink, CopyOutcome::WriteFailed);
  }
  return true;
}

}  // namespace corvane::rescue
