#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/FakePlatform.h"

namespace corvane::testing {

struct Geometry {
  std::uint64_t cylinders;
  std::uint32_t tracksPerCylinder;
  std::uint32_t sectorsPerTrack;
  std::uint32_t bytesPerSector;
};

// How a fake physical drive answers the SMART and geometry requests, and the
// SMART_RCV_DRIVE_DATA requests it received.
struct AtaDrive {
  bool answersVersion = true;
  std::uint8_t deviceMap = 0x01;
  bool answersIdentify = true;
  std::vector<std::uint8_t> identifyData = std::vector<std::uint8_t>(512);
  std::optional<Geometry> geometry;
  std::vector<std::vector<std::uint8_t>> identifyRequests;
};

// IDENTIFY data with the strings in the drive's own layout: two characters a
// word, the first in the high byte, each word stored low byte first.
std::vector<std::uint8_t> IdentifyData(const std::string& serial, const std::string& model);

// Adds physical drive n to the platform, answering as drive says.
void AddAtaDrive(FakePlatform& platform, int n, AtaDrive& drive);

// Replies of a storage driver by control code, each given back as it stands
// (cut to the caller's buffer).
using RecordedReplies = std::map<std::uint32_t, std::vector<std::uint8_t>>;

// Makes drive n, added before, answer these requests with their recorded
// replies; the storage query only in its standard form, as drivers do.
void AddRecordedReplies(FakePlatform& platform, int n, const RecordedReplies& replies);

// A STORAGE_DEVICE_DESCRIPTOR as drivers lay it out: the fixed part, then
// each string present with its NUL; a null string has offset 0.
std::vector<std::uint8_t> DeviceDescriptor(const char* vendor, const char* product,
                                           const char* serial);

// Adds physical drive n as a disk of bytes on the USB bus, which describes
// itself as product and reports its size in bytes only.
FakeDevice& AddUsbDisk(FakePlatform& platform, int n, std::uint64_t bytes, const char* product);

// Adds a volume lying on disks, named by its drive letter ("E:") or its
// device, which tells its extents and takes every lock and dismount.
void AddVolume(FakePlatform& platform, const std::string& volume, const std::vector<int>& disks);

// A reply of size bytes that holds value, 64-bit, at offset at.
std::vector<std::uint8_t> SizeReply(std::size_t size, std::size_t at, std::uint64_t value);

}  // namespace corvane::testing
