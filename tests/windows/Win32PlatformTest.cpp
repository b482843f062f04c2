// Runs under Wine through run-under-wine.sh, which maps a sample disk, a
// floppy image and a floppy root folder; see that script for their contents.
#include "platform/Win32Platform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "disk/DriveEnumeration.h"
#include "disk/SectorAccess.h"
#include "platform/Utf16.h"
#include "rescue/RescueDisk.h"
#include "rescue/RescueStick.h"
#include "tests/support/DiskImages.h"
#include "tests/support/RecordingSink.h"

namespace corvane::testing {
namespace {

constexpr std::uint32_t kFirstEbr = 8388613;  // 2^23 + 5: beyond 4 GiB

std::string TestFolder() {
  const char* folder = std::getenv("CORVANE_TEST_DIR");
  return folder != nullptr ? folder : ".";
}

// The floppy image as a file, read past the device layer under test.
disk::Sector FloppyImageSector(std::uint64_t sector) {
  std::ifstream image(TestFolder() + "\\floppy.img", std::ios::binary);
  image.seekg(static_cast<std::streamoff>(sector * disk::kSectorSize));
  disk::Sector data{};
  image.read(reinterpret_cast<char*>(data.data()), data.size());  // NOLINT
  EXPECT_TRUE(image.good()) << "floppy image sector " << sector;
  return data;
}

class Win32PlatformTest : public ::testing::Test {
 protected:
  platform::Win32Platform platform;
};

TEST_F(Win32PlatformTest, ReadsMappedDiskSectorsBeyondFourGigabytes) {
  disk::Sector sector{};
  ASSERT_EQ(disk::ReadDriveSectors(platform, 0, kFirstEbr + 1, 1, sector), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(sector.data())),  // NOLINT
            "CORVANE TEST SECTOR 8388614");
  ASSERT_EQ(disk::ReadDriveSectors(platform, 0, kFirstEbr, 1, sector), 0);
  EXPECT_EQ(sector[450], 0x07);
  EXPECT_EQ(sector[510], 0x55);
}

TEST_F(Win32PlatformTest, OpensOnlyMappedDrives) {
  EXPECT_TRUE(disk::OpenPhysicalDrive(platform, 0).IsValid());
  EXPECT_FALSE(disk::OpenPhysicalDrive(platform, 5).IsValid()) << "no mapping";
  EXPECT_FALSE(disk::OpenPhysicalDrive(platform, 3).IsValid()) << "mapped to a folder";
  EXPECT_FALSE(disk::OpenPhysicalDrive(platform, 10).IsValid()) << "name ends in ':'";
}

TEST_F(Win32PlatformTest, WritesAndReadsFloppySectorsInPlace) {
  const disk::Sector before = FloppyImageSector(8);
  const disk::Sector after = FloppyImageSector(10);
  const auto data = Bytes("floppy sector 9 ", 512);
  ASSERT_EQ(disk::WriteFloppySectors(platform, 9, 1, data), 0);
  EXPECT_TRUE(std::ranges::equal(FloppyImageSector(9), data));
  EXPECT_EQ(FloppyImageSector(8), before);
  EXPECT_EQ(FloppyImageSector(10), after);
  disk::Sector read{};
  ASSERT_EQ(disk::ReadFloppySectors(platform, 10, 1, read), 0);
  EXPECT_EQ(read, after);
  EXPECT_TRUE(platform.HasFloppyDrive());
}

// The program's temporary files in the test folder, by their pattern.
int TemporaryFilesLeft() {
  WIN32_FIND_DATAW found{};
  HANDLE search =
      FindFirstFileW(platform::ToUtf16(TestFolder() + "\\corvane-*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return 0;
  }
  int count = 1;
  while (FindNextFileW(search, &found) != FALSE) {
    ++count;
  }
  FindClose(search);
  return count;
}

TEST_F(Win32PlatformTest, WritesAFileWholeReplacingAnOlderOneOrNotAtAll) {
  const std::string path = TestFolder() + "\\rescue.iso";
  // A file of the user's where an older program put its temporary file.
  std::ofstream(TestFolder() + "\\rescue.iso.tmp") << "the user's own";
  ASSERT_TRUE(platform.WriteFileReplacing(path, Bytes("first", 3000)));
  ASSERT_TRUE(platform.WriteFileReplacing(path, Bytes("second", 600)));
  std::vector<std::uint8_t> read(1000);
  ASSERT_EQ(platform.ReadFileStart(path, read), 600U);
  read.resize(600);
  EXPECT_EQ(read, Bytes("second", 600));
  std::string planted;
  std::getline(std::ifstream(TestFolder() + "\\rescue.iso.tmp"), planted);
  EXPECT_EQ(planted, "the user's own");

  EXPECT_FALSE(platform.WriteFileReplacing(TestFolder() + "\\missing\\rescue.iso", read));
  ASSERT_TRUE(CreateDirectoryW(platform::ToUtf16(TestFolder() + "\\folder.iso").c_str(), nullptr));
  EXPECT_FALSE(platform.WriteFileReplacing(TestFolder() + "\\folder.iso", read)) << "a folder";
  EXPECT_EQ(TemporaryFilesLeft(), 0);
}

// UTF-8 reaches Windows unchanged: a fullwidth backslash is a character of
// the name, not a folder separator as the ANSI code page would make it.
TEST_F(Win32PlatformTest, WritesANameAsTypedAndRefusesOneTooLongForItsTemporaryFile) {
  const std::string name = "x\xEF\xBC\xBC..\xEF\xBC\xBC..\xEF\xBC\xBC\xE6\x95\x91.img";
  const auto full = platform.ReplaceableFilePath(name);
  ASSERT_TRUE(full);
  EXPECT_EQ(*full, TestFolder() + "\\" + name);
  ASSERT_TRUE(platform.WriteFileReplacing(*full, Bytes("image", 512)));
  std::vector<std::uint8_t> read(512);
  EXPECT_EQ(platform.ReadFileStart(name, read), 512U);
  EXPECT_FALSE(platform.ReadFileStart(TestFolder() + "\\..\\..\\\xE6\x95\x91.img", read));

  const std::string folder = TestFolder() + "\\";
  const auto pathOfLength = [&folder](std::size_t length) {
    return folder + std::string(length - folder.size() - 4, 'n') + ".iso";
  };
  // MAX_PATH counts the terminating null.
  EXPECT_TRUE(platform.ReplaceableFilePath(pathOfLength(MAX_PATH - 1)));
  EXPECT_FALSE(platform.ReplaceableFilePath(pathOfLength(MAX_PATH)));
  EXPECT_FALSE(
      platform.ReplaceableFilePath(folder + std::string(235 - folder.size(), 'n') + "\\a.iso"))
      << "the temporary file's name is longer than the file's";
  EXPECT_FALSE(platform.ReplaceableFilePath(folder + std::string(300, 'n') + ".iso"));
}

TEST_F(Win32PlatformTest, CopiesAndReadsFilesByWindowsPath) {
  ASSERT_TRUE(platform.CopyFileReplacing("os\\bootcore.bin", "a:\\bootcore.bin"));
  ASSERT_TRUE(platform.CopyFileReplacing("os\\bs", "a:\\bootcore.bin")) << "replaces";
  ASSERT_TRUE(platform.CopyFileReplacing("os\\bootcore.bin", "a:\\bootcore.bin"));
  EXPECT_FALSE(platform.CopyFileReplacing("os\\missing.bin", "a:\\missing.bin"));

  std::vector<std::uint8_t> original(8192);
  std::vector<std::uint8_t> copy(8192);
  const auto originalSize = platform.ReadFileStart("os\\bootcore.bin", original);
  ASSERT_TRUE(originalSize.has_value());
  EXPECT_GT(*originalSize, 512U);
  EXPECT_EQ(platform.ReadFileStart("a:\\bootcore.bin", copy), originalSize);
  EXPECT_EQ(original, copy);
  EXPECT_FALSE(platform.ReadFileStart("os\\missing.bin", copy).has_value());
}

TEST_F(Win32PlatformTest, CreatesARescueFloppyFromTheMappedDisk) {
  std::vector<std::string> transcript;
  RecordingSink sink(transcript, 0);
  rescue::CreateRescueDisk(platform, sink);
  ASSERT_EQ(sink.status, "Corvane Disk Successfully Created");

  std::vector<std::uint8_t> bootSector(512);
  ASSERT_EQ(platform.ReadFileStart("os\\bs", bootSector), 512U);
  EXPECT_TRUE(std::ranges::equal(FloppyImageSector(0), bootSector));
  disk::Sector mbr{};
  disk::Sector ebr{};
  ASSERT_EQ(disk::ReadDriveSectors(platform, 0, 0, 1, mbr), 0);
  ASSERT_EQ(disk::ReadDriveSectors(platform, 0, kFirstEbr, 1, ebr), 0);
  EXPECT_EQ(FloppyImageSector(4), mbr);
  EXPECT_EQ(FloppyImageSector(5), ebr);
  EXPECT_EQ(FloppyImageSector(3), ControlBufferOf({0, 0, kFirstEbr}));
  EXPECT_EQ(FloppyImageSector(6), disk::Sector{});
  std::ifstream kernel(TestFolder() + "\\floppy-root\\bootcore.bin", std::ios::binary);
  std::ifstream shipped(TestFolder() + "\\os\\bootcore.bin", std::ios::binary);
  EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(kernel), {},
                         std::istreambuf_iterator<char>(shipped), {}));
}

// Wine answers neither the SMART nor the geometry request for an image file,
// so the one mapped disk is listed with empty cells.
// The stick writer through the real device calls, against an 8 MiB stick
// image: the floppy image from the first sector, the last MiB zeroed, and
// everything between as it was.
TEST_F(Win32PlatformTest, WritesAStickFromItsFirstSectorAndZeroesItsLastMegabyte) {
  std::vector<std::uint8_t> image(disk::kFloppyBytes);
  for (std::size_t k = 0; k < image.size(); ++k) {
    image[k] = static_cast<std::uint8_t>(k * 7 + k / disk::kSectorSize);
  }
  std::vector<std::string> transcript;
  RecordingSink sink(transcript, 0);
  constexpr std::uint64_t kStickBytes = std::uint64_t{8} << 20U;
  ASSERT_TRUE(rescue::WriteStickImage(platform, sink, {2, "Test Stick", kStickBytes, {}}, image))
      << transcript.back();
  std::ifstream file(TestFolder() + "\\stick.img", std::ios::binary);
  const std::vector<std::uint8_t> stick((std::istreambuf_iterator<char>(file)),
                                        std::istreambuf_iterator<char>());
  ASSERT_EQ(stick.size(), kStickBytes);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), stick.begin()));
  const auto sectorText = [&stick](std::uint64_t sector) {
    return std::string(
        reinterpret_cast<const char*>(&stick[sector * disk::kSectorSize]));  // NOLINT
  };
  EXPECT_EQ(sectorText(2880), "OLD STICK SECTOR 2880");
  EXPECT_EQ(sectorText(14335), "OLD STICK SECTOR 14335");
  EXPECT_TRUE(std::all_of(stick.begin() + std::ptrdiff_t{14336} * 512, stick.end(),
                          [](std::uint8_t byte) { return byte == 0; }));
}

TEST_F(Win32PlatformTest, ListsTheMappedDiskAndStopsAtTheFirstGap) {
  class Rows final : public disk::DriveRows {
   public:
    void InsertRow(int row, const std::string& name) override {
      texts.push_back(std::to_string(row) + " " + name);
    }
    void SetCell(int row, int column, const std::string& text) override {
      texts.push_back(std::to_string(row) + "," + std::to_string(column) + " " + text);
    }
    std::vector<std::string> texts;
  } rows;
  disk::FillDriveList(platform, rows);
  EXPECT_EQ(rows.texts, (std::vector<std::string>{"0 Physical Disk 0", "0,1 ", "0,2 "}));
}

}  // namespace
}  // namespace corvane::testing
