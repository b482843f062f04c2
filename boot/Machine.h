#pragma once

#include <cstdint>
#include <span>

#include "disk/Sector.h"

namespace corvane::boot {

enum class Tone { Plain, Strong, Heading };

using SectorBuffer = std::span<std::uint8_t, disk::kSectorSize>;
using ConstSectorBuffer = std::span<const std::uint8_t, disk::kSectorSize>;

// The BIOS number of the first hard disk; hard disk k is kFirstHardDisk + k.
inline constexpr std::uint8_t kFirstHardDisk = 0x80;

// What int 13h function 48h reports of a hard disk.
struct DiskGeometry {
  std::uint64_t sectors = 0;
  std::uint16_t bytesPerSector = 0;  // 0 where the BIOS leaves it unset
};

// The PC as the rescue kernel uses it: the screen and COM1, the keyboard and
// the BIOS timer, the medium it booted from and the BIOS hard disks. The
// kernel's implementation calls the BIOS; the tests substitute an in-memory one.
class Machine {
 public:
  // Shows text on the screen and sends it to COM1; '\n' ends a line.
  virtual void Write(const char* text, Tone tone) = 0;
  // Starts a new line on the screen only, where a long line wraps: COM1
  // keeps each line whole.
  virtual void WrapScreenLine() = 0;
  // Takes the oldest key from the BIOS keyboard buffer without waiting: its
  // character (0 for keys without one), or false when the buffer is empty.
  virtual bool TakeKey(char& key) = 0;
  // The BIOS timer's count, 18.2 a second; it never goes back.
  virtual std::uint32_t Ticks() = 0;
  // Waits for the next interrupt (a timer tick at the latest) while nothing
  // else is to be done.
  virtual void Idle() = 0;
  // The BIOS drive the rescue medium was booted from: 00h for a floppy (or a
  // medium the BIOS treats as one), 80h and up for one it counts among its
  // hard disks.
  virtual std::uint8_t BootDrive() = 0;
  // Sector of the rescue medium, the boot drive.
  virtual bool ReadFloppySector(int sector, SectorBuffer out) = 0;
  // The number of BIOS hard disks, the boot drive among them where it is
  // one, or -1 when the BIOS cannot tell.
  virtual int CountHardDisks() = 0;
  // The rest is about one hard disk (80h, 81h, ...), through the int 13h
  // extensions. A sector transfer is only ever asked of a disk whose
  // geometry was read and whose sectors hold 512 bytes.
  virtual bool HasDiskExtensions(std::uint8_t disk) = 0;
  virtual bool ReadDiskGeometry(std::uint8_t disk, DiskGeometry& geometry) = 0;
  virtual bool ReadDiskSector(std::uint8_t disk, std::uint32_t lba, SectorBuffer out) = 0;
  virtual bool WriteDiskSector(std::uint8_t disk, std::uint32_t lba, ConstSectorBuffer data) = 0;
  // What the messages call the hard disk where its number means nothing to
  // the user (a firmware without BIOS numbers), or nullptr for "80h".
  virtual const char* DiskName(std::uint8_t disk) = 0;

 protected:
  Machine() = default;
  Machine(const Machine&) = default;
  Machine& operator=(const Machine&) = default;
  Machine(Machine&&) = default;
  Machine& operator=(Machine&&) = default;
  ~Machine() = default;
};

}  // namespace corvane::boot
