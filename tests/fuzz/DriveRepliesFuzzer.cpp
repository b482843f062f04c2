// Arbitrary storage-descriptor and IDENTIFY replies, of any length, for the
// code that reads them. A reply handed over directly lies in a heap buffer of
// exactly its size, and the texts go into buffers of the sizes the input
// gives, so that AddressSanitizer stops any access beyond either.
//
// Input: a descriptor's length (16 bits) and bytes; the byte count a driver
// claims for it (32 bits); an options byte (bit 0 the SMART version query
// answers, bit 1 the IDENTIFY request does); the drive number; the 24 bytes
// of the version reply; the sizes of the serial and model buffers; a first
// and a last word (32 bits each); the IDENTIFY reply, the rest.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "disk/DriveIdentifier.h"
#include "disk/SectorAccess.h"
#include "disk/StorageIdentity.h"
#include "platform/DeviceControl.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzOracles.h"
#include "tests/support/FakePlatform.h"

namespace corvane::fuzzing {
namespace {

namespace layout = platform::device_control;

constexpr std::size_t kMaxDescriptorSize = 1100;
constexpr std::size_t kMaxTextBuffer = 64;
constexpr char kUntouched = '\x7F';

// Printable ASCII without blanks at either end, no longer than the sources it
// was taken from.
bool IsCleanText(const std::string& text, std::size_t sourcesSize) {
  return text.size() <= sourcesSize &&
         std::ranges::all_of(text, [](char c) { return c >= ' ' && c <= '~'; }) &&
         (text.empty() || (text.front() != ' ' && text.back() != ' '));
}

// The model joins two strings of the reply, which may overlap, with a blank.
void CheckIdentity(const disk::StorageIdentity& identity, std::size_t replySize) {
  FUZZ_CHECK(IsCleanText(identity.serial, replySize));
  FUZZ_CHECK(IsCleanText(identity.model, 2 * replySize + 1));
}

// Copies a reply into the caller's buffer as a driver does, cut to fit.
void Answer(std::span<const std::uint8_t> reply, std::span<std::uint8_t> output) {
  std::copy_n(reply.begin(), std::min(reply.size(), output.size()), output.begin());
}

// Untouched, or a NUL-terminated text within the buffer.
bool IsTextOrUntouched(const std::vector<char>& buffer) {
  return std::ranges::all_of(buffer, [](char c) { return c == kUntouched; }) ||
         std::ranges::find(buffer, '\0') != buffer.end();
}

class RepliesCase {
 public:
  explicit RepliesCase(FuzzInput& input) {
    const auto descriptorBytes = input.Bytes(input.Word() % kMaxDescriptorSize);
    descriptor.assign(descriptorBytes.begin(), descriptorBytes.end());
    claimed = input.Long();
    options = input.Byte();
    drive = input.Byte() % 10;
    const auto versionBytes = input.Bytes(layout::kVersionSize);
    version.assign(versionBytes.begin(), versionBytes.end());
    serial.assign(input.Byte() % kMaxTextBuffer, kUntouched);
    model.assign(input.Byte() % kMaxTextBuffer, kUntouched);
    first = static_cast<int>(input.Long());
    last = static_cast<int>(input.Long());
    const auto replyBytes = input.Bytes(layout::kReplySize);
    identify.assign(replyBytes.begin(), replyBytes.end());
  }

  void RunAndCheck() {
    CheckIdentity(disk::IdentityFromDescriptor(descriptor), descriptor.size());
    std::vector<std::string> transcript;
    testing::FakePlatform platform(transcript);
    const std::string name = disk::PhysicalDriveName(drive);
    platform.AddDevice(name, 1);
    platform.controlHandlers[name] =
        [this](std::uint32_t code, std::span<const std::uint8_t>, std::span<std::uint8_t> output,
               std::uint32_t& returned) { return Reply(code, output, returned); };
    CheckIdentity(disk::QueryStorageIdentity(platform, drive), layout::kDescriptorReplySize);
    disk::DriveIdentifier identifier(platform, drive);
    identifier.IdentifyDrive(serial, model);
    FUZZ_CHECK(IsTextOrUntouched(serial) && IsTextOrUntouched(model));
    FUZZ_CHECK(platform.OpenHandles().empty());
    CheckWordsToString();
  }

 private:
  bool Reply(std::uint32_t code, std::span<std::uint8_t> output, std::uint32_t& returned) {
    returned = claimed;
    switch (code) {
      case layout::kStorageQueryProperty:
        Answer(descriptor, output);
        return true;
      case layout::kSmartGetVersion:
        Answer(version, output);
        return (options & 1U) != 0;
      case layout::kSmartReceiveDriveData:
        Answer(identify, output);
        return (options & 2U) != 0;
      default:
        return false;
    }
  }

  // Any range of words, even outside the 256, gives a text in its buffer.
  void CheckWordsToString() const {
    disk::IdentifyWords words{};
    for (std::size_t k = 0; k < words.size() && 2 * k + 1 < identify.size(); ++k) {
      words[k] = identify[2 * k] | std::uint32_t{identify[2 * k + 1]} << 8U;
    }
    const char* text = disk::DriveIdentifier::IdentifyWordsToString(words, first, last);
    FUZZ_CHECK(std::strlen(text) <= 2 * words.size());
  }

  std::vector<std::uint8_t> descriptor;
  std::vector<std::uint8_t> version;
  std::vector<std::uint8_t> identify;
  std::vector<char> serial;
  std::vector<char> model;
  std::uint32_t claimed = 0;
  std::uint8_t options = 0;
  int drive = 0;
  int first = 0;
  int last = 0;
};

}  // namespace
}  // namespace corvane::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  corvane::fuzzing::FuzzInput input(data, size);
  corvane::fuzzing::RepliesCase(input).RunAndCheck();
  return 0;
}
