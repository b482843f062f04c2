#pragma once

#include <array>
#include <cstdint>

#include "boot/Machine.h"
#include "boot/RescueData.h"
#include "disk/Sector.h"

namespace corvane::boot {

// The kernel's working memory: one sector (the floppy's boot sector and
// control buffer, then each sector read from the hard disks) and every copy
// the floppy can hold.
struct RescueMemory {
  disk::Sector sector{};
  std::array<std::uint8_t, kMaxCopies * disk::kSectorSize> copies{};
};

enum class Outcome {
  FloppyReadError,
  NoRescueData,
  DamagedCopies,
  NoHardDisk,
  SeveralHardDisks,
  NoDiskExtensions,
  UnsupportedSectorSize,
  DiskTooSmall,
  NothingToRestore,
  Declined,
  Restored,
  RestoreFailed,
};

// Everything the rescue kernel does, from reading the floppy's control buffer
// to the last "press any key"; the caller restarts the PC afterwards. It never
// writes the floppy and writes one hard disk only, at LBAs the control buffer
// lists, from copies that passed every check, after the user answered Y to a
// question shown before the key was pressed (twice where the copies may
// belong to another disk).
Outcome RunRescue(Machine& machine, RescueMemory& memory);

}  // namespace corvane::boot
