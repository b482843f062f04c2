#include "disk/DriveIdentifier.h"

#include <algorithm>
#include <string>

#include "platform/UniqueDevice.h"

namespace corvane::disk {
namespace {

namespace layout = platform::device_control;

constexpr int kSerialFirstWord = 10;
constexpr int kSerialLastWord = 19;
constexpr int kModelFirstWord = 27;
constexpr int kModelLastWord = 46;
constexpr int kAtapiFlagShift = 4;
constexpr int kDevicePositions = 4;

// The device map has a presence bit for each of four IDE positions in bits 0
// to 3 and their ATAPI flags in bits 4 to 7; the drive number is the position.
// Drives 4 and above have no flag, so they always get IDENTIFY DEVICE.
std::uint8_t IdentifyCommandFor(std::uint8_t deviceMap, int driveNumber) {
  const bool hasFlag = driveNumber >= 0 && driveNumber < kDevicePositions;
  const bool atapi = hasFlag && ((deviceMap >> (driveNumber + kAtapiFlagShift)) & 1U) != 0;
  return atapi ? kIdentifyPacketDevice : kIdentifyDevice;
}

IdentifyWords WordsOf(const IdentifyReply& reply) {
  IdentifyWords words{};
  for (std::size_t k = 0; k < words.size(); ++k) {
    const std::size_t at = layout::kReplyHeaderSize + 2 * k;
    words[k] = std::uint32_t{reply[at]} | std::uint32_t{reply[at + 1]} << 8U;
  }
  return words;
}

}  // namespace

DriveIdentifier::DriveIdentifier(platform::Platform& platform, int driveNumber)
    : driveNumber(driveNumber), platform(platform) {}

int DriveIdentifier::IdentifyDrive(std::span<char> serial, std::span<char> model) {
  const std::string name = "\\\\.\\PhysicalDrive" + std::to_string(driveNumber);
  const platform::UniqueDevice device(
      platform, platform.OpenDevice(name, platform::Access::ReadWrite, platform::Share::ReadWrite));
  if (!device.IsValid()) {
    return -1;
  }
  std::array<std::uint8_t, layout::kVersionSize> version{};
  std::uint32_t bytesReturned = 0;
  if (!platform.ControlDevice(device.Get(), layout::kSmartGetVersion, {}, version, bytesReturned)) {
    return -1;
  }
  const std::uint8_t deviceMap = version[layout::kVersionIdeDeviceMap];
  if (deviceMap == 0) {
    return 0;
  }
  IdentifyRequest request{};
  replyBuffer.fill(0);
  if (!SendIdentifyCommand(device.Get(), request, replyBuffer,
                           IdentifyCommandFor(deviceMap, driveNumber),
                           static_cast<std::uint8_t>(driveNumber), bytesReturned)) {
    return 0;
  }
  const IdentifyWords words = WordsOf(replyBuffer);
  CopyTextCut(serial, IdentifyWordsToString(words, kSerialFirstWord, kSerialLastWord));
  CopyTextCut(model, IdentifyWordsToString(words, kModelFirstWord, kModelLastWord));
  return 0;
}

bool DriveIdentifier::SendIdentifyCommand(platform::DeviceHandle device, IdentifyRequest& request,
                                          IdentifyReply& reply, std::uint8_t command,
                                          std::uint8_t driveNumber, std::uint32_t& bytesReturned) {
  constexpr std::size_t kRegisters = layout::kCommandRegisters;
  request[layout::kCommandBufferSize] = layout::kIdentifyDataSize & 0xFF;
  request[layout::kCommandBufferSize + 1] = layout::kIdentifyDataSize >> 8;
  request[kRegisters + layout::kRegisterFeatures] = 0;
  request[kRegisters + layout::kRegisterSectorCount] = 1;
  request[kRegisters + layout::kRegisterSectorNumber] = 1;
  request[kRegisters + layout::kRegisterCylinderLow] = 0;
  request[kRegisters + layout::kRegisterCylinderHigh] = 0;
  // Bit 4 selects the second device on the channel.
  request[kRegisters + layout::kRegisterDriveHead] =
      static_cast<std::uint8_t>(0xA0U | ((driveNumber & 1U) << 4U));
  request[kRegisters + layout::kRegisterCommand] = command;
  request[layout::kCommandDriveNumber] = driveNumber;
  return platform.ControlDevice(device, layout::kSmartReceiveDriveData,
                                std::span(request).first(layout::kCommandSentSize), reply,
                                bytesReturned);
}

void CopyTextCut(std::span<char> target, std::string_view text) {
  if (target.empty()) {
    return;
  }
  const std::size_t length = std::min(text.size(), target.size() - 1);
  std::copy_n(text.begin(), length, target.begin());
  target[length] = '\0';
}

const char* DriveIdentifier::IdentifyWordsToString(const IdentifyWords& words, int first,
                                                   int last) {
  static std::array<char, kIdentifyStringCapacity> text{};
  const int from = std::max(first, 0);
  const int to = std::min(last, static_cast<int>(words.size()) - 1);
  std::size_t end = 0;
  for (int k = from; k <= to; ++k) {
    const auto word = words[static_cast<std::size_t>(k)];
    text[end++] = static_cast<char>((word >> 8U) & 0xFFU);
    text[end++] = static_cast<char>(word & 0xFFU);
  }
  text[end] = '\0';
  for (std::size_t at = end; at > 1 && text[at - 1] == ' '; --at) {
    text[at - 1] = '\0';
  }
  return text.data();
}

}  // namespace corvane::disk
