#include "disk/DriveEnumeration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <iterator>

#include "disk/UsbDrives.h"
#include "platform/DeviceControl.h"
#include "platform/DriveLetter.h"
#include "tests/support/AtaDrives.h"
#include "tests/support/FakePlatform.h"

namespace corvane::testing {
namespace {

using disk::CapacityText;

// The list as the user would read it, and each change written into the
// platform's call log, so the order of opens, requests and rows shows.
class RecordingRows final : public disk::DriveRows {
 public:
  explicit RecordingRows(std::vector<std::string>& log) : log(log) {}

  void InsertRow(int row, const std::string& name) override {
    log.push_back("row " + std::to_string(row) + " " + name);
    EXPECT_EQ(row, static_cast<int>(cells.size())) << "rows are appended in order";
    cells.push_back({name, "", "", ""});
  }
  void SetCell(int row, int column, const std::string& text) override {
    log.push_back("cell " + std::to_string(row) + "," + std::to_string(column) + " " + text);
    cells.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column)) = text;
  }

  std::vector<std::array<std::string, 4>> cells;

 private:
  std::vector<std::string>& log;
};

TEST(CapacityTextTest, CountsWholeUnitsOf1024000000Bytes) {
  EXPECT_EQ(CapacityText(9729, 255, 63, 512), "78.0 GB");
  EXPECT_EQ(CapacityText(2'047'999'999, 1, 1, 1), "1.0 GB");
  EXPECT_EQ(CapacityText(2'048'000'000, 1, 1, 1), "2.0 GB");
  EXPECT_EQ(CapacityText(1'023'999'999, 1, 1, 1), "0.0 GB");
  EXPECT_EQ(CapacityText(1, 0xFFFFFFFFU, 2, 1), "8.0 GB") << "products beyond 32 bits";
  EXPECT_EQ(CapacityText(1ULL << 40, 1, 1, 1), "1073.0 GB") << "cylinders beyond 32 bits";
}

class DriveEnumerationTest : public ::testing::Test {
 protected:
  AtaDrive& Drive(int n, const std::string& serial, std::optional<Geometry> geometry) {
    AtaDrive& drive = drives.emplace_back();
    drive.identifyData = IdentifyData(serial, "MODEL " + serial);
    drive.geometry = geometry;
    AddAtaDrive(platform, n, drive);
    return drive;
  }

  void Fill() {
    disk::FillDriveList(platform, rows);
    EXPECT_TRUE(platform.OpenHandles().empty());
  }

  std::vector<std::string> transcript;
  FakePlatform platform{transcript};
  RecordingRows rows{platform.calls};
  std::deque<AtaDrive> drives;
};

TEST_F(DriveEnumerationTest, FillsARowWithTwoHandlesOpenAtOnce) {
  Drive(0, "S0", Geometry{9729, 255, 63, 512});
  Fill();
  const std::string pd0 = "\\\\.\\PhysicalDrive0";
  EXPECT_EQ(
      platform.calls,
      (std::vector<std::string>{
          "open " + pd0 + " r share=rw", "row 0 Physical Disk 0", "open " + pd0 + " rw share=rw",
          "control " + pd0 + " 0x74080", "control " + pd0 + " 0x7c088", "close " + pd0,
          "cell 0,1 S0", "cell 0,2 MODEL S0", "control " + pd0 + " 0x70000", "cell 0,3 78.0 GB",
          "close " + pd0, "open-failed \\\\.\\PhysicalDrive1"}));
  EXPECT_TRUE(transcript.empty());
}

TEST_F(DriveEnumerationTest, AGapEndsTheList) {
  Drive(0, "S0", std::nullopt);
  Drive(1, "S1", std::nullopt);
  Drive(3, "S3", std::nullopt);
  Fill();
  ASSERT_EQ(rows.cells.size(), 2U);
  EXPECT_EQ(rows.cells[1][0], "Physical Disk 1");
}

TEST_F(DriveEnumerationTest, ListsAtMostTenDisks) {
  for (int n = 0; n < 12; ++n) {
    Drive(n, "S" + std::to_string(n), std::nullopt);
  }
  Fill();
  ASSERT_EQ(rows.cells.size(), 10U);
  EXPECT_EQ(rows.cells[9][0], "Physical Disk 9");
}

TEST_F(DriveEnumerationTest, AFailedQueryLeavesOnlyItsCellsEmpty) {
  Drive(0, "S0", Geometry{100, 255, 63, 512});
  Drive(1, "S1", Geometry{200, 255, 63, 512}).answersIdentify = false;
  Drive(2, "S2", std::nullopt);
  Drive(3, "S3", Geometry{9729, 255, 63, 512}).answersVersion = false;
  Fill();
  using Row = std::array<std::string, 4>;
  EXPECT_EQ(rows.cells, (std::vector<Row>{{"Physical Disk 0", "S0", "MODEL S0", "0.0 GB"},
                                          {"Physical Disk 1", "", "", "1.0 GB"},
                                          {"Physical Disk 2", "S2", "MODEL S2", ""},
                                          {"Physical Disk 3", "", "", "78.0 GB"}}));
}

namespace layout = platform::device_control;
using Row = std::array<std::string, 4>;

// Disks whose SMART interface names nothing, named by their storage drivers
// in the shapes these drivers give: ATA behind SCSI translation (RAID and
// many SATA controllers), USB, NVMe. A disk that SMART names keeps its names.
TEST_F(DriveEnumerationTest, NamesDisksThatSmartCannotFromTheirStorageDriver) {
  Drive(0, "", std::nullopt).identifyData = std::vector<std::uint8_t>(512);
  AddRecordedReplies(platform, 0,
                     {{layout::kStorageQueryProperty,
                       DeviceDescriptor("ATA     ", "ST1000DM003-1CH162  ", "        Z1D5K2QP")}});
  Drive(1, "", std::nullopt).answersVersion = false;
  AddRecordedReplies(platform, 1,
                     {{layout::kStorageQueryProperty,
                       DeviceDescriptor("SanDisk ", "Cruzer Blade    ", "4C530001230101115172")}});
  Drive(2, "", std::nullopt).answersVersion = false;
  AddRecordedReplies(
      platform, 2,
      {{layout::kStorageQueryProperty,
        DeviceDescriptor(nullptr, "Samsung SSD 970 EVO Plus 1TB", "0025_38B5_81B0_1A2B.")}});
  Drive(3, "S3", std::nullopt);
  AddRecordedReplies(platform, 3,
                     {{layout::kStorageQueryProperty, DeviceDescriptor("V", "P", "OTHER")}});
  Fill();
  EXPECT_EQ(rows.cells,
            (std::vector<Row>{
                {"Physical Disk 0", "Z1D5K2QP", "ST1000DM003-1CH162", ""},
                {"Physical Disk 1", "4C530001230101115172", "SanDisk Cruzer Blade", ""},
                {"Physical Disk 2", "0025_38B5_81B0_1A2B.", "Samsung SSD 970 EVO Plus 1TB", ""},
                {"Physical Disk 3", "S3", "MODEL S3", ""}}));
}

// Every offset is checked against the bytes the driver returned: a string
// that is absent, points into the fixed part or past the reply, or is cut
// off before its end names nothing.
TEST_F(DriveEnumerationTest, ADescriptorNamesOnlyWhatItsReplyHolds) {
  std::vector<std::uint8_t> truncated = DeviceDescriptor("WD", "Elements 25A2", "57584E31");
  truncated.resize(truncated.size() - 4);
  std::vector<std::uint8_t> misplaced = DeviceDescriptor(
      "\x01"
      "Ext\x7F",
      nullptr, "SN");
  misplaced[layout::kDescriptorSerialNumberOffset] = 4;
  misplaced[layout::kDescriptorProductIdOffset + 3] = 0xFF;
  const std::string longSerial(300, '7');
  for (const auto& reply :
       {truncated, std::vector<std::uint8_t>(truncated.begin(), truncated.begin() + 30), misplaced,
        DeviceDescriptor(nullptr, "\t", longSerial.c_str())}) {
    const int n = static_cast<int>(drives.size());
    Drive(n, "", std::nullopt).answersVersion = false;
    AddRecordedReplies(platform, n, {{layout::kStorageQueryProperty, reply}});
  }
  Fill();
  EXPECT_EQ(rows.cells, (std::vector<Row>{{"Physical Disk 0", "", "WD Elements 25A2", ""},
                                          {"Physical Disk 1", "", "", ""},
                                          {"Physical Disk 2", "", "Ext", ""},
                                          {"Physical Disk 3", longSerial.substr(0, 255), "", ""}}));
}

// Without a geometry a disk is sized by GEOMETRY_EX's DiskSize, then by its
// length, each only when the reply holds the whole non-negative size.
TEST_F(DriveEnumerationTest, SizesADiskWithoutGeometryByItsLength) {
  const std::uint64_t size = 80'023'749'120;
  const RecordedReplies cases[] = {
      {{layout::kDiskGetDriveGeometryEx, SizeReply(40, 24, size)},
       {layout::kDiskGetLengthInfo, SizeReply(8, 0, 2 * size)}},
      {{layout::kDiskGetLengthInfo, SizeReply(8, 0, 2'048'000'000)}},
      {{layout::kDiskGetDriveGeometryEx, SizeReply(31, 24, size)},
       {layout::kDiskGetLengthInfo, SizeReply(8, 0, 1'024'000'000)}},
      {{layout::kDiskGetDriveGeometryEx, SizeReply(32, 24, ~std::uint64_t{0})},
       {layout::kDiskGetLengthInfo, SizeReply(7, 0, size)}}};
  for (int n = 0; n < 4; ++n) {
    Drive(n, "S" + std::to_string(n), std::nullopt);
    AddRecordedReplies(platform, n, cases[n]);
  }
  Fill();
  EXPECT_EQ(rows.cells, (std::vector<Row>{{"Physical Disk 0", "S0", "MODEL S0", "78.0 GB"},
                                          {"Physical Disk 1", "S1", "MODEL S1", "2.0 GB"},
                                          {"Physical Disk 2", "S2", "MODEL S2", "1.0 GB"},
                                          {"Physical Disk 3", "S3", "MODEL S3", ""}}));
}

// An image-backed disk under Wine answers none of the requests: the row
// keeps its name only. The storage query goes through a handle without access
// rights, after the identify query has closed its own; the size requests go to
// the enumeration's handle.
TEST_F(DriveEnumerationTest, ADiskThatAnswersNothingShowsItsNameOnly) {
  Drive(0, "S0", std::nullopt).answersVersion = false;
  Fill();
  std::vector<std::string> requests;
  std::ranges::copy_if(platform.calls, std::back_inserter(requests), [](const std::string& call) {
    return call.starts_with("control") || call.starts_with("close") ||
           call.ends_with(" none share=rw");
  });
  const std::string pd0 = " \\\\.\\PhysicalDrive0";
  EXPECT_EQ(requests,
            (std::vector<std::string>{
                "control" + pd0 + " 0x74080", "close" + pd0, "open" + pd0 + " none share=rw",
                "control" + pd0 + " 0x2d1400", "close" + pd0, "control" + pd0 + " 0x70000",
                "control" + pd0 + " 0x700a0", "control" + pd0 + " 0x7405c", "close" + pd0}));
  EXPECT_EQ(rows.cells, (std::vector<Row>{{"Physical Disk 0", "", "", ""}}));
}

// Only a USB disk that is neither the disk being rescued nor one that Windows
// lies on may be erased to become a rescue stick.
TEST_F(DriveEnumerationTest, OffersOnlyUsbDisksThatWindowsAndTheRescueDoNotNeed) {
  Drive(0, "S0", Geometry{9729, 255, 63, 512});
  AddVolume(platform, "C:", {0});
  AddUsbDisk(platform, 1, 8'004'304'896, "Cruzer Blade");
  AddVolume(platform, "E:", {1});
  AddUsbDisk(platform, 2, 500'107'862'016, "Portable SSD");
  AddVolume(platform, "F:", {2});
  AddVolume(platform, "G:", {2});
  AddUsbDisk(platform, 3, 16'000'000'000, "Boot Stick");  // the partition Windows booted from
  AddVolume(platform, "\\\\?\\GLOBALROOT\\Device\\HarddiskVolume9", {3});
  platform.systemVolumes.emplace_back("\\\\?\\GLOBALROOT\\Device\\HarddiskVolume9");
  AddUsbDisk(platform, 4, disk::kFloppyBytes - 1, "Tiny");
  AddUsbDisk(platform, 5, 4'000'000'000, "Rescued Disk");
  Drive(6, "S6", Geometry{9729, 255, 63, 512});  // no descriptor: not known to be USB
  AddUsbDisk(platform, 7, disk::kFloppyBytes, "Floppy Sized");
  const std::vector<disk::UsbDrive> sticks = disk::FindUsbDrives(platform, 5);
  EXPECT_EQ(sticks,
            (std::vector<disk::UsbDrive>{{1, "USB Cruzer Blade", 8'004'304'896, {"E:"}},
                                         {2, "USB Portable SSD", 500'107'862'016, {"F:", "G:"}},
                                         {7, "USB Floppy Sized", disk::kFloppyBytes, {}}}));
  EXPECT_TRUE(platform.OpenHandles().empty());
  EXPECT_EQ(disk::UsbDriveText(sticks[1]), "USB Portable SSD (500.1 GB, F:, G:)");
  EXPECT_EQ(disk::UsbDriveText({7, "", 999'999'999, {}}), "(999 MB)");
  EXPECT_EQ(disk::UsbSizeText(1'000'000'000), "1.0 GB");
}

TEST_F(DriveEnumerationTest, OffersNoUsbDiskWhenWindowsDoesNotSayWhichDiskItLiesOn) {
  AddUsbDisk(platform, 1, 8'004'304'896, "Cruzer Blade");
  AddVolume(platform, "E:", {1});
  platform.AddDevice("\\\\.\\C:", 1);  // answers no extents, as a volume on a RAID set may
  EXPECT_TRUE(disk::FindUsbDrives(platform, 0).empty());
  platform.systemVolumes.clear();
  AddVolume(platform, "C:", {0});
  EXPECT_TRUE(disk::FindUsbDrives(platform, 0).empty());
  platform.systemVolumes = {"\\\\.\\C:"};
  EXPECT_EQ(disk::FindUsbDrives(platform, 0).size(), 1U) << "the same PC where Windows tells";
}

// A: is a floppy drive only where Windows does not place the letter
// elsewhere: a network share, a CD drive, a subst folder or a stick's volume
// would otherwise get the floppy's raw writes.
TEST(FloppyDriveLetterTest, OnlyAFloppyDeviceOrAnUnplacedLetterIsAFloppyDrive) {
  using platform::DriveType;
  using platform::IsFloppyDriveLetter;
  EXPECT_TRUE(IsFloppyDriveLetter(DriveType::Removable, "\\Device\\Floppy0"));
  EXPECT_TRUE(IsFloppyDriveLetter(DriveType::Removable, "\\device\\FLOPPY1"));
  EXPECT_TRUE(IsFloppyDriveLetter(DriveType::Fixed, std::nullopt)) << "Wine's mapped drive";
  EXPECT_FALSE(IsFloppyDriveLetter(DriveType::NoRootDirectory, std::nullopt));
  EXPECT_FALSE(IsFloppyDriveLetter(DriveType::Remote, std::nullopt));
  EXPECT_FALSE(IsFloppyDriveLetter(DriveType::CdRom, "\\Device\\Floppy0"));
  EXPECT_FALSE(IsFloppyDriveLetter(DriveType::Removable, "\\Device\\HarddiskVolume5"));
  EXPECT_FALSE(IsFloppyDriveLetter(DriveType::Fixed, "\\??\\C:\\Floppy"));
  EXPECT_FALSE(IsFloppyDriveLetter(DriveType::Removable, "\\Device\\Flop"));
}

}  // namespace
}  // namespace corvane::testing
