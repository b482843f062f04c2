#include "disk/DriveIdentifier.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/AtaDrives.h"
#include "tests/support/FakePlatform.h"

namespace corvane::testing {
namespace {

using disk::DriveIdentifier;
using disk::IdentifyWords;

// Words first.. of text in the drive's layout, as IdentifyDrive hands them on.
IdentifyWords WordsWith(std::size_t first, const std::string& text) {
  IdentifyWords words{};
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const auto high = static_cast<unsigned char>(text[i]);
    const auto low = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0U;
    words[first + i / 2] = high << 8U | low;
  }
  return words;
}

std::string Convert(const IdentifyWords& words, int first, int last) {
  return DriveIdentifier::IdentifyWordsToString(words, first, last);
}

TEST(IdentifyWordsToStringTest, TurnsAtaWordsIntoTextAndCutsOnlyTrailingBlanks) {
  EXPECT_EQ(Convert(WordsWith(10, "BA"), 10, 10), "BA") << "high byte first";
  EXPECT_EQ(Convert(WordsWith(10, std::string(20, ' ')), 10, 19), " ") << "position 0 stays";
  EXPECT_EQ(Convert(WordsWith(10, std::string(20, '\0')), 10, 19), "");
  EXPECT_EQ(Convert(WordsWith(10, "  SN 42  " + std::string(11, ' ')), 10, 19), "  SN 42");
  EXPECT_EQ(Convert(WordsWith(27, "MAXTOR 6L080J4" + std::string(26, ' ')), 27, 46),
            "MAXTOR 6L080J4");
  EXPECT_EQ(Convert(WordsWith(10, std::string("AB\0CD ", 6)), 10, 12), "AB");
  EXPECT_EQ(Convert(WordsWith(10, "XY"), 11, 10), "") << "first after last";
}

TEST(IdentifyWordsToStringTest, NeverLeavesTheWordsOrItsBuffer) {
  IdentifyWords words{};
  words.fill('Z' << 8U | 'Z');
  EXPECT_EQ(Convert(words, -100, 100000).size(), 512U);
  EXPECT_EQ(Convert(words, 250, 300), std::string(12, 'Z'));
  EXPECT_EQ(Convert(words, -3, 0), "ZZ");
}

class DriveIdentifierTest : public ::testing::Test {
 protected:
  DriveIdentifierTest() {
    serial.fill('\xCC');
    model.fill('\xCC');
  }

  int Identify(int n) { return DriveIdentifier(platform, n).IdentifyDrive(serial, model); }

  [[nodiscard]] bool BuffersUntouched() const {
    return std::ranges::all_of(serial, [](char c) { return c == '\xCC'; }) &&
           std::ranges::all_of(model, [](char c) { return c == '\xCC'; });
  }

  std::vector<std::string> transcript;
  FakePlatform platform{transcript};
  AtaDrive drive;
  std::array<char, 256> serial{};
  std::array<char, 256> model{};
};

TEST_F(DriveIdentifierTest, AnsweredRequestWritesBothStrings) {
  drive.identifyData = IdentifyData("  WD-123", "WDC WD800BB-00JHC0");
  AddAtaDrive(platform, 0, drive);
  EXPECT_EQ(Identify(0), 0);
  EXPECT_STREQ(serial.data(), "  WD-123");
  EXPECT_STREQ(model.data(), "WDC WD800BB-00JHC0");
  EXPECT_EQ(platform.calls,
            (std::vector<std::string>{
                "open \\\\.\\PhysicalDrive0 rw share=rw", "control \\\\.\\PhysicalDrive0 0x74080",
                "control \\\\.\\PhysicalDrive0 0x7c088", "close \\\\.\\PhysicalDrive0"}));
  EXPECT_TRUE(transcript.empty());
}

TEST_F(DriveIdentifierTest, EveryFailureLeavesTheBuffersUntouched) {
  struct Case {
    const char* name;
    bool present;
    bool answersVersion;
    std::uint8_t deviceMap;
    bool answersIdentify;
    int result;
    std::size_t identifyRequests;
  };
  for (const Case& c : {Case{"cannot open", false, true, 1, true, -1, 0},
                        Case{"version query fails", true, false, 1, true, -1, 0},
                        Case{"empty device map", true, true, 0, true, 0, 0},
                        Case{"identify fails", true, true, 1, false, 0, 1}}) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> log;
    FakePlatform machine(log);
    AtaDrive answers{c.answersVersion,  c.deviceMap,
                     c.answersIdentify, IdentifyData("SERIAL", "MODEL"),
                     std::nullopt,      {}};
    if (c.present) {
      AddAtaDrive(machine, 0, answers);
    }
    EXPECT_EQ(DriveIdentifier(machine, 0).IdentifyDrive(serial, model), c.result);
    EXPECT_TRUE(BuffersUntouched());
    EXPECT_EQ(answers.identifyRequests.size(), c.identifyRequests);
    EXPECT_TRUE(machine.OpenHandles().empty());
  }
}

TEST_F(DriveIdentifierTest, ChoosesTheCommandAndFillsTheRequestBlock) {
  struct Case {
    std::uint8_t deviceMap;
    int drive;
    std::uint8_t command;
    std::uint8_t driveHead;
  };
  for (const Case& c :
       {Case{0x11, 0, 0xA1, 0xA0}, Case{0x01, 0, 0xEC, 0xA0}, Case{0x20, 1, 0xA1, 0xB0},
        Case{0x01, 1, 0xEC, 0xB0}, Case{0xF0, 5, 0xEC, 0xB0}, Case{0x01, 3, 0xEC, 0xB0},
        Case{0x01, 2, 0xEC, 0xA0}}) {
    SCOPED_TRACE(::testing::Message() << "map " << int{c.deviceMap} << " drive " << c.drive);
    AtaDrive answers{true, c.deviceMap, true, IdentifyData("S", "M"), std::nullopt, {}};
    AddAtaDrive(platform, c.drive, answers);
    EXPECT_EQ(Identify(c.drive), 0);
    ASSERT_EQ(answers.identifyRequests.size(), 1U);
    std::vector<std::uint8_t> expected(32);
    expected[1] = 0x02;  // cBufferSize 512
    expected[5] = 1;     // sector count
    expected[6] = 1;     // sector number
    expected[9] = c.driveHead;
    expected[10] = c.command;
    expected[12] = static_cast<std::uint8_t>(c.drive);
    EXPECT_EQ(answers.identifyRequests[0], expected);
    platform.controlHandlers.clear();
  }
}

TEST_F(DriveIdentifierTest, CutsStringsToSmallBuffers) {
  drive.identifyData = IdentifyData("0123456789ABCDEFGHIJ", "M");
  AddAtaDrive(platform, 0, drive);
  std::array<char, 5> small{};
  std::array<char, 2> tiny{};
  EXPECT_EQ(DriveIdentifier(platform, 0).IdentifyDrive(small, tiny), 0);
  EXPECT_STREQ(small.data(), "0123");
  EXPECT_STREQ(tiny.data(), "M");
}

}  // namespace
}  // namespace corvane::testing
