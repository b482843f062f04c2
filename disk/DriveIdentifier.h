#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/DeviceControl.h"
#include "platform/Platform.h"

namespace corvane::disk {

inline constexpr std::uint8_t kIdentifyDevice = 0xEC;
inline constexpr std::uint8_t kIdentifyPacketDevice = 0xA1;
inline constexpr std::size_t kIdentifyWordCount = 256;
inline constexpr std::size_t kIdentifyStringCapacity = 1024;

using IdentifyWords = std::array<std::uint32_t, kIdentifyWordCount>;
using IdentifyRequest = std::array<std::uint8_t, platform::device_control::kCommandSize>;
using IdentifyReply = std::array<std::uint8_t, platform::device_control::kReplySize>;

// Asks one physical drive, through the SMART interface, for its ATA IDENTIFY
// data and hands back its serial and model numbers. Sends only the two
// identification commands; shows no message.
class DriveIdentifier {
 public:
  DriveIdentifier(platform::Platform& platform, int driveNumber);
  DriveIdentifier(const DriveIdentifier&) = delete;
  DriveIdentifier& operator=(const DriveIdentifier&) = delete;
  DriveIdentifier(DriveIdentifier&&) = delete;
  DriveIdentifier& operator=(DriveIdentifier&&) = delete;
  virtual ~DriveIdentifier() = default;

  // Writes the NUL-terminated serial and model numbers, cut to fit, only when
  // the drive answered the IDENTIFY request; otherwise leaves both untouched.
  // Returns -1 when the drive cannot be opened or does not answer the SMART
  // version query, 0 otherwise.
  int IdentifyDrive(std::span<char> serial, std::span<char> model);

  bool SendIdentifyCommand(platform::DeviceHandle device, IdentifyRequest& request,
                           IdentifyReply& reply, std::uint8_t command, std::uint8_t driveNumber,
                           std::uint32_t& bytesReturned);

  // The text of words first to last, two characters a word, high byte first,
  // with trailing blanks cut (position 0 is always kept). The result lives in
  // one static buffer until the next call; a range beyond the 256 words is cut
  // to them, so the buffer never overflows.
  static const char* IdentifyWordsToString(const IdentifyWords& words, int first, int last);

 private:
  IdentifyReply replyBuffer{};
  int driveNumber;
  platform::Platform& platform;
};

// Copies text into target as a NUL-terminated string, cut to fit.
void CopyTextCut(std::span<char> target, std::string_view text);

}  // namespace corvane::disk
