#include "disk/StorageIdentity.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "disk/Sector.h"
#include "disk/SectorAccess.h"
#include "platform/DeviceControl.h"
#include "platform/UniqueDevice.h"

namespace corvane::disk {
namespace {

namespace layout = platform::device_control;

constexpr char kFirstPrintable = ' ';
constexpr char kLastPrintable = '~';
// SCSI-to-ATA translation reports every ATA disk with this vendor.
constexpr std::string_view kTranslatedAtaVendor = "ATA";

std::string PrintableTrimmed(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (const std::uint8_t byte : bytes) {
    const auto c = static_cast<char>(byte);
    if (c >= kFirstPrintable && c <= kLastPrintable) {
      text.push_back(c);
    }
  }
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The string whose offset is stored at field; empty when it is absent, points
// into the fixed part or beyond the reply, or is cut off before its NUL.
std::string DescriptorString(std::span<const std::uint8_t> reply, std::size_t field) {
  const std::uint32_t offset = LittleEndian32(reply, field);
  if (offset < layout::kDescriptorFixedSize || offset >= reply.size()) {
    return {};
  }
  const auto text = reply.subspan(offset);
  const auto end = std::ranges::find(text, std::uint8_t{0});
  if (end == text.end()) {
    return {};
  }
  return PrintableTrimmed({text.begin(), end});
}

std::string JoinedModel(const std::string& vendor, const std::string& product) {
  if (vendor.empty() || vendor == kTranslatedAtaVendor) {
    return product;
  }
  return product.empty() ? vendor : vendor + " " + product;
}

}  // namespace

StorageIdentity IdentityFromDescriptor(std::span<const std::uint8_t> reply) {
  if (reply.size() < layout::kDescriptorFixedSize) {
    return {};
  }
  return {DescriptorString(reply, layout::kDescriptorSerialNumberOffset),
          JoinedModel(DescriptorString(reply, layout::kDescriptorVendorIdOffset),
                      DescriptorString(reply, layout::kDescriptorProductIdOffset))};
}

std::vector<std::uint8_t> QueryStorageDescriptor(platform::Platform& platform, int drive) {
  const platform::UniqueDevice device(
      platform, platform.OpenDevice(PhysicalDriveName(drive), platform::Access::None,
                                    platform::Share::ReadWrite));
  if (!device.IsValid()) {
    return {};
  }
  std::array<std::uint8_t, layout::kPropertyQuerySize> query{};
  PutLittleEndian32(query, layout::kPropertyQueryPropertyId, layout::kStorageDeviceProperty);
  PutLittleEndian32(query, layout::kPropertyQueryQueryType, layout::kPropertyStandardQuery);
  std::vector<std::uint8_t> reply(layout::kDescriptorReplySize);
  std::uint32_t returned = 0;
  if (!platform.ControlDevice(device.Get(), layout::kStorageQueryProperty, query, reply,
                              returned) ||
      returned > reply.size()) {
    return {};
  }
  reply.resize(returned);
  return reply;
}

StorageIdentity QueryStorageIdentity(platform::Platform& platform, int drive) {
  return IdentityFromDescriptor(QueryStorageDescriptor(platform, drive));
}

bool IsUsbDescriptor(std::span<const std::uint8_t> reply) {
  return reply.size() >= layout::kDescriptorBusType + sizeof(std::uint32_t) &&
         LittleEndian32(reply, layout::kDescriptorBusType) == layout::kBusTypeUsb;
}

}  // namespace corvane::disk
