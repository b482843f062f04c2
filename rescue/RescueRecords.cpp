#include "rescue/RescueRecords.h"

#include <set>
#include <string>

#include "partition/BootRecordReader.h"
#include "rescue/ControlBuffer.h"

namespace corvane::rescue {
namespace {

using partition::BootRecordReader;
using partition::SectorRecord;

enum class CopyOutcome { Copied, WriteFailed, ChainInvalid, ChainUnreadable, FloppyFull };

// Puts each copied record into the control buffer and onto the next floppy
// sector, and refuses a chain that loops, that the buffer cannot index or that
// would reach the floppy's root directory.
class RecordCopier {
 public:
  RecordCopier(RescueMedium& medium, StatusSink& sink, int drive, int extendedRecordRoom)
      : medium(medium), sink(sink), extendedRecordRoom(extendedRecordRoom) {
    PutControlRecord(control, 0, static_cast<std::uint32_t>(drive));
  }

  // An older rescue disk's index must not survive over copies of this run.
  CopyOutcome ClearControlSector() {
    const ControlBuffer empty{};
    return Write(kControlBufferFloppySector, empty);
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
    if (extendedCount == extendedRecordRoom) {
      return CopyOutcome::FloppyFull;
    }
    ++extendedCount;
    return Copy(record, "Writing Partition Boot Record #" + std::to_string(extendedCount) + "...");
  }

  CopyOutcome WriteControlBuffer() {
    sink.SetStatus("Writing Control Buffer...");
    return Write(kControlBufferFloppySector, control);
  }

 private:
  CopyOutcome Copy(const SectorRecord& record, const std::string& status) {
    copiedLbas.insert(record.lba);
    PutControlRecord(control, nextOffset, record.lba);
    nextOffset += kControlRecordSize;
    sink.SetStatus(status);
    return Write(nextFloppySector++, record.data);
  }

  CopyOutcome Write(int floppySector, const disk::Sector& data) {
    return medium.WriteSector(floppySector, data) == disk::kResultOk ? CopyOutcome::Copied
                                                                     : CopyOutcome::WriteFailed;
  }

  RescueMedium& medium;
  StatusSink& sink;
  ControlBuffer control{};
  int nextOffset = kControlRecordSize;
  int nextFloppySector = kMasterBootRecordFloppySector;
  int extendedCount = 0;
  int extendedRecordRoom;
  std::set<std::uint32_t> copiedLbas;
};

bool ReportMasterBootRecordFailure(StatusSink& sink) {
  sink.SetStatus("Reading Master Boot Record failed !");
  sink.ShowMessage("Failed to read Master Boot Record of your drive !", MessageIcon::Exclamation);
  return false;
}

bool ReportGptRefusal(StatusSink& sink) {
  sink.SetStatus("Failed :: GPT disks are not supported !");
  sink.ShowMessage(
      "This disk uses a GUID partition table.\nA rescue floppy can only hold MBR partition "
      "tables; no rescue disk was created.",
      MessageIcon::Exclamation);
  return false;
}

std::string TooManyPartitionsMessage(int extendedRecordRoom) {
  return "Your drive has more logical partitions than a rescue floppy can hold (at most " +
         std::to_string(extendedRecordRoom) + ").\nNo rescue disk was created.";
}

bool ReportCopyFailure(StatusSink& sink, CopyOutcome outcome, int extendedRecordRoom) {
  switch (outcome) {
    case CopyOutcome::ChainInvalid:
      sink.SetStatus("Failed :: Invalid partition chain !");
      sink.ShowMessage(
          "The chain of logical partitions on your drive loops back on itself or holds more than "
          "100 partitions.\nNo rescue disk was created.",
          MessageIcon::Exclamation);
      break;
    case CopyOutcome::FloppyFull:
      sink.SetStatus("Failed :: Too many partitions for a rescue floppy !");
      sink.ShowMessage(TooManyPartitionsMessage(extendedRecordRoom), MessageIcon::Exclamation);
      break;
    case CopyOutcome::ChainUnreadable:
      // The sector access has already told the user which read failed.
      sink.SetStatus("Failed :: Error reading partition chain !");
      break;
    default:
      sink.SetStatus("Failed :: Error writing floppy disk sectors !");
      break;
  }
  return false;
}

// A missing extended partition, the end of the chain and an EBR without the
// boot signature end the walk; an EBR that a link promised but that cannot be
// read fails it, since the floppy would lack every EBR from there on.
CopyOutcome CopyExtendedChain(BootRecordReader& reader, RecordCopier& copier) {
  SectorRecord record{};
  int result = reader.ReadFirstExtendedRecord(record);
  for (; result == disk::kResultOk; result = reader.ReadNextExtendedRecord(record)) {
    if (const CopyOutcome outcome = copier.CopyExtendedRecord(record);
        outcome != CopyOutcome::Copied) {
      return outcome;
    }
  }
  return result == disk::kResultFailed ? CopyOutcome::ChainUnreadable : CopyOutcome::Copied;
}

// Every copy in floppy order, the control buffer last.
CopyOutcome CopyRecords(BootRecordReader& reader, RecordCopier& copier,
                        const SectorRecord& masterBootRecord) {
  CopyOutcome outcome = copier.ClearControlSector();
  if (outcome == CopyOutcome::Copied) {
    outcome = copier.CopyMasterBootRecord(masterBootRecord);
  }
  if (outcome == CopyOutcome::Copied) {
    outcome = CopyExtendedChain(reader, copier);
  }
  if (outcome == CopyOutcome::Copied) {
    outcome = copier.WriteControlBuffer();
  }
  return outcome;
}

}  // namespace

bool WriteRescueRecords(platform::Platform& platform, RescueMedium& medium, int drive,
                        StatusSink& sink, int extendedRecordRoom) {
  RecordCopier copier(medium, sink, drive, extendedRecordRoom);
  BootRecordReader reader(platform, drive);
  SectorRecord masterBootRecord{};

  sink.SetStatus("Reading Master Boot Record...");
  if (reader.ReadMasterBootRecord(masterBootRecord) != disk::kResultOk) {
    return ReportMasterBootRecordFailure(sink);
  }
  if (partition::HasGptProtectiveEntry(masterBootRecord.data)) {
    return ReportGptRefusal(sink);
  }
  if (const CopyOutcome outcome = CopyRecords(reader, copier, masterBootRecord);
      outcome != CopyOutcome::Copied) {
    return ReportCopyFailure(sink, outcome, extendedRecordRoom);
  }
  return true;
}

}  // namespace corvane::rescue
