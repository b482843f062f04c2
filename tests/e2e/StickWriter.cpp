// Writes a rescue floppy image to a physical drive as Corvane writes a USB
// stick, through the same code and the real Win32 calls, so that a stick
// image which Wine maps as that drive can be booted afterwards. Prints what
// the user would have been shown, one line each.
// Usage: corvane_stick_writer IMAGE DRIVE BYTES
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/Win32Platform.h"
#include "rescue/RescueStick.h"
#include "tests/support/RecordingSink.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: corvane_stick_writer IMAGE DRIVE BYTES\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(file)),
                                        std::istreambuf_iterator<char>());
  const corvane::disk::UsbDrive stick{static_cast<int>(std::strtol(argv[2], nullptr, 10)),
                                      "Test Stick",
                                      std::strtoull(argv[3], nullptr, 10),
                                      {}};
  corvane::platform::Win32Platform platform;
  std::vector<std::string> transcript;
  corvane::testing::RecordingSink sink(transcript, 0);
  const bool written = corvane::rescue::WriteStickImage(platform, sink, stick, image);
  for (const std::string& line : transcript) {
    std::printf("%s\n", line.c_str());
  }
  return written ? 0 : 1;
}
