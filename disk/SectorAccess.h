#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "disk/Sector.h"
#include "platform/Platform.h"
#include "platform/UniqueDevice.h"

namespace corvane::disk {

inline constexpr const char* kReadFailureMessage =
    "The application failed to read from the physical drive !";
inline constexpr const char* kWriteFailureMessage =
    "The application failed to write to floppy disk !";
inline constexpr const char* kFloppyReadFailureMessage =
    "The application failed to read from floppy disk !";
inline constexpr const char* kFloppyDeviceName = "\\\\.\\A:";
inline constexpr int kFloppyAttempts = 5;

// "\\.\PhysicalDrive0" with the drive number added to its last character; only
// the low 8 bits of the number count, so 0 to 9 are the only openable names.
std::string PhysicalDriveName(int drive);

// A read-only handle to a physical disk, shared for reading and writing; the
// handle is invalid when the disk cannot be opened. Shows no message.
platform::UniqueDevice OpenPhysicalDrive(platform::Platform& platform, int drive);

// Reads count sectors from lba into buffer. Every failure, including a read
// that delivers fewer bytes than asked for, is told to the user; returns
// kResultOk or kResultFailed.
int ReadDriveSectors(platform::Platform& platform, int drive, std::uint32_t lba, int count,
                     std::span<std::uint8_t> buffer);

// Writes count sectors from buffer to the floppy at sector, retrying a failed
// write up to kFloppyAttempts times in all before telling the user.
int WriteFloppySectors(platform::Platform& platform, int sector, int count,
                       std::span<const std::uint8_t> buffer);

// Reads count sectors of the floppy at sector into buffer, with the same
// retries, telling the user when every attempt failed.
int ReadFloppySectors(platform::Platform& platform, int sector, int count,
                      std::span<std::uint8_t> buffer);

}  // namespace corvane::disk
