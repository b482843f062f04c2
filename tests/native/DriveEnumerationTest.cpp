#include "disk/DriveEnumeration.h"

#include <gtest/gtest.h>

#include <deque>

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

}  // namespace
}  // namespace corvane::testing
