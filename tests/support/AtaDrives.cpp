#include "tests/support/AtaDrives.h"

#include <algorithm>

#include "disk/SectorAccess.h"
#include "disk/UsbDrives.h"
#include "platform/DeviceControl.h"

namespace corvane::testing {
namespace {

namespace layout = platform::device_control;

void PutAtaString(std::vector<std::uint8_t>& data, std::size_t firstWord, std::size_t words,
                  const std::string& text) {
  for (std::size_t i = 0; i < 2 * words; ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    data[2 * firstWord + (i ^ 1U)] = static_cast<std::uint8_t>(c);
  }
}

void PutLittle(std::span<std::uint8_t> bytes, std::size_t at, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) {
    bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

bool IsStandardDescriptorQuery(std::span<const std::uint8_t> input) {
  return input.size() == layout::kPropertyQuerySize &&
         disk::LittleEndian32(input, layout::kPropertyQueryPropertyId) ==
             layout::kStorageDeviceProperty &&
         disk::LittleEndian32(input, layout::kPropertyQueryQueryType) ==
             layout::kPropertyStandardQuery;
}

}  // namespace

std::vector<std::uint8_t> IdentifyData(const std::string& serial, const std::string& model) {
  std::vector<std::uint8_t> data(512);
  PutAtaString(data, 10, 10, serial);
  PutAtaString(data, 27, 20, model);
  return data;
}

void AddAtaDrive(FakePlatform& platform, int n, AtaDrive& drive) {
  const std::string name = disk::PhysicalDriveName(n);
  platform.AddDevice(name, 1 << 20);
  platform.controlHandlers[name] = [&drive](std::uint32_t code, std::span<const std::uint8_t> input,
                                            std::span<std::uint8_t> output,
                                            std::uint32_t& returned) {
    switch (code) {
      case layout::kSmartGetVersion:
        output[layout::kVersionIdeDeviceMap] = drive.deviceMap;
        returned = layout::kVersionSize;
        return drive.answersVersion;
      case layout::kSmartReceiveDriveData:
        drive.identifyRequests.emplace_back(input.begin(), input.end());
        if (drive.answersIdentify) {
          std::ranges::copy(drive.identifyData, output.begin() + layout::kReplyHeaderSize);
          returned = layout::kReplySize;
        }
        return drive.answersIdentify;
      case layout::kDiskGetDriveGeometry:
        if (drive.geometry) {
          PutLittle(output, layout::kGeometryCylinders, drive.geometry->cylinders, 8);
          PutLittle(output, layout::kGeometryTracksPerCylinder, drive.geometry->tracksPerCylinder,
                    4);
          PutLittle(output, layout::kGeometrySectorsPerTrack, drive.geometry->sectorsPerTrack, 4);
          PutLittle(output, layout::kGeometryBytesPerSector, drive.geometry->bytesPerSector, 4);
        }
        return drive.geometry.has_value();
      default:
        return false;
    }
  };
}

void AddRecordedReplies(FakePlatform& platform, int n, const RecordedReplies& replies) {
  const std::string name = disk::PhysicalDriveName(n);
  ControlHandler drive = platform.controlHandlers.at(name);
  platform.controlHandlers[name] = [drive, replies](
                                       std::uint32_t code, std::span<const std::uint8_t> input,
                                       std::span<std::uint8_t> output, std::uint32_t& returned) {
    const auto reply = replies.find(code);
    if (reply == replies.end()) {
      return drive(code, input, output, returned);
    }
    if (code == layout::kStorageQueryProperty && !IsStandardDescriptorQuery(input)) {
      return false;
    }
    const std::size_t size = std::min(reply->second.size(), output.size());
    std::copy_n(reply->second.begin(), size, output.begin());
    returned = static_cast<std::uint32_t>(size);
    return true;
  };
}

std::vector<std::uint8_t> DeviceDescriptor(const char* vendor, const char* product,
                                           const char* serial) {
  constexpr std::size_t kFixedPart = 40;  // sizeof(STORAGE_DEVICE_DESCRIPTOR)
  std::vector<std::uint8_t> descriptor(kFixedPart);
  const auto put = [&descriptor](std::size_t field, const char* text) {
    if (text != nullptr) {
      PutLittle(descriptor, field, descriptor.size(), 4);
      descriptor.insert(descriptor.end(), text, text + std::char_traits<char>::length(text) + 1);
    }
  };
  put(layout::kDescriptorVendorIdOffset, vendor);
  put(layout::kDescriptorProductIdOffset, product);
  put(layout::kDescriptorSerialNumberOffset, serial);
  PutLittle(descriptor, 0, kFixedPart, 4);         // Version
  PutLittle(descriptor, 4, descriptor.size(), 4);  // Size
  return descriptor;
}

FakeDevice& AddUsbDisk(FakePlatform& platform, int n, std::uint64_t bytes, const char* product) {
  const std::string name = disk::PhysicalDriveName(n);
  FakeDevice& device = platform.AddDevice(name, bytes / disk::kSectorSize);
  std::vector<std::uint8_t> descriptor = DeviceDescriptor("USB", product, "0123456789");
  PutLittle(descriptor, layout::kDescriptorBusType, layout::kBusTypeUsb, 4);
  platform.controlHandlers[name] = [](std::uint32_t, std::span<const std::uint8_t>,
                                      std::span<std::uint8_t>, std::uint32_t&) { return false; };
  AddRecordedReplies(platform, n,
                     {{layout::kStorageQueryProperty, descriptor},
                      {layout::kDiskGetLengthInfo, SizeReply(8, 0, bytes)},
                      {layout::kDiskUpdateProperties, {}}});
  return device;
}

void AddVolume(FakePlatform& platform, const std::string& volume, const std::vector<int>& disks) {
  const std::string name = volume.size() == 2 ? disk::VolumeDeviceName(volume) : volume;
  platform.AddDevice(name, 1);
  platform.controlHandlers[name] = [disks](std::uint32_t code, std::span<const std::uint8_t>,
                                           std::span<std::uint8_t> output,
                                           std::uint32_t& returned) {
    if (code == layout::kLockVolume || code == layout::kDismountVolume) {
      return true;
    }
    const std::size_t size = layout::kExtentsFirst + disks.size() * layout::kExtentSize;
    if (code != layout::kVolumeGetDiskExtents || output.size() < size) {
      return false;
    }
    PutLittle(output, layout::kExtentsCount, disks.size(), 4);
    for (std::size_t k = 0; k < disks.size(); ++k) {
      PutLittle(output, layout::kExtentsFirst + k * layout::kExtentSize + layout::kExtentDiskNumber,
                static_cast<std::uint64_t>(disks[k]), 4);
    }
    returned = static_cast<std::uint32_t>(size);
    return true;
  };
}

std::vector<std::uint8_t> SizeReply(std::size_t size, std::size_t at, std::uint64_t value) {
  std::vector<std::uint8_t> reply(std::max(size, at + 8));
  PutLittle(reply, at, value, 8);
  reply.resize(size);
  return reply;
}

}  // namespace corvane::testing
