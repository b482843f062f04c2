#include "tests/support/AtaDrives.h"

#include <algorithm>

#include "disk/SectorAccess.h"
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

}  // namespace corvane::testing
