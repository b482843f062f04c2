#include "partition/BootRecordReader.h"

#include <gtest/gtest.h>

#include "tests/support/DiskImages.h"
#include "tests/support/RescueFixture.h"

namespace corvane::testing {
namespace {

using partition::BootRecordReader;
using partition::SectorRecord;

TEST(BootSignatureTest, NeedsBoth55AndAAAtTheEnd) {
  disk::Sector sector = BootRecord({});
  EXPECT_TRUE(partition::HasBootSignature(sector));
  sector[511] = 0x55;
  EXPECT_FALSE(partition::HasBootSignature(sector));
  EXPECT_FALSE(partition::HasBootSignature(BootRecord({}, 0, false)));
}

TEST(CopySectorTest, CopiesOnlyAPositiveLength) {
  const disk::Sector source = BootRecord({}, 0x11);
  disk::Sector target{};
  partition::CopySector(target, source, 0);
  partition::CopySector(target, source, -5);
  EXPECT_EQ(target, disk::Sector{});
  partition::CopySector(target, source, 512);
  EXPECT_EQ(target, source);
}

class BootRecordReaderTest : public RescueFixture {
 protected:
  BootRecordReader reader{platform, 0};
  SectorRecord record{};
};

TEST_F(BootRecordReaderTest, TakesTheFirstExtendedEntryOfEitherType) {
  disk.PutSector(0, BootRecord({{1, kNtfs, 63}, {3, kExtendedLba, 5000}, {2, kExtended, 9000}}));
  disk.PutSector(5000, BootRecord({}, 0x50));
  disk.PutSector(9000, BootRecord({}, 0x90));
  ASSERT_EQ(reader.ReadFirstExtendedRecord(record), 0);
  EXPECT_EQ(record.lba, 9000U);  // slot 2 comes before slot 3

  disk.PutSector(0, BootRecord({{3, kExtendedLba, 5000}}));
  ASSERT_EQ(reader.ReadFirstExtendedRecord(record), 0);
  EXPECT_EQ(record.lba, 5000U);
  EXPECT_EQ(record.data, disk.GetSector(5000));
}

TEST_F(BootRecordReaderTest, ADiskWithoutExtendedPartitionEndsAfterOneSilentRead) {
  disk.PutSector(0, BootRecord({{0, kNtfs, 63}, {1, 0x83, 9000}}));
  record.lba = 77;
  EXPECT_EQ(reader.ReadFirstExtendedRecord(record), disk::kResultNoRecord);
  EXPECT_EQ(platform.ReadCount(), 1);
  EXPECT_EQ(record.lba, 77U);
  EXPECT_TRUE(transcript.empty());
}

TEST_F(BootRecordReaderTest, ReadsTheMasterBootRecordTwiceAndWalksBothLinkTypes) {
  const auto lbas = PutLogicalChain(disk, 63, 3, 2048, 1, kExtendedLba);
  ASSERT_EQ(reader.ReadMasterBootRecord(record), 0);
  EXPECT_EQ(record.lba, 0U);
  EXPECT_EQ(record.data, disk.GetSector(0));
  std::vector<std::uint32_t> walked;
  int result = reader.ReadFirstExtendedRecord(record);
  for (; result == 0; result = reader.ReadNextExtendedRecord(record)) {
    walked.push_back(record.lba);
    EXPECT_EQ(record.data, disk.GetSector(record.lba));
  }
  EXPECT_EQ(result, disk::kResultNoRecord);
  EXPECT_EQ(walked, lbas);
  // Two reads of LBA 0 and one per EBR; the last EBR's empty link reads nothing.
  EXPECT_EQ(platform.ReadCount(), 2 + 3);
  EXPECT_EQ(std::ranges::count(platform.calls, std::string("seek \\\\.\\PhysicalDrive0 0")), 2);
}

TEST_F(BootRecordReaderTest, ALinkOfAnyOtherTypeEndsTheChainWithoutARead) {
  const auto lbas = PutLogicalChain(disk, 63, 3);
  disk.PutSector(lbas[0], BootRecord({{0, kNtfs, 63}, {1, 0x85, 2048}}, 1));  // Linux's extended
  ASSERT_EQ(reader.ReadFirstExtendedRecord(record), 0);
  const int reads = platform.ReadCount();
  EXPECT_EQ(reader.ReadNextExtendedRecord(record), disk::kResultNoRecord);
  EXPECT_EQ(platform.ReadCount(), reads);
  EXPECT_EQ(record.lba, lbas[0]);
}

TEST_F(BootRecordReaderTest, LinkArithmeticWrapsAtTwoToTheThirtyTwo) {
  const std::uint32_t base = 0xFFFFFF00U;
  disk.PutSector(0, BootRecord({{0, kExtended, base}}));
  disk.PutSector(base, BootRecord({{0, kNtfs, 63}, {1, kExtended, 512}}, 1));
  disk.PutSector(256, BootRecord({{0, kNtfs, 63}}, 2));
  ASSERT_EQ(reader.ReadFirstExtendedRecord(record), 0);
  ASSERT_EQ(reader.ReadNextExtendedRecord(record), 0);
  EXPECT_EQ(record.lba, 256U);
  EXPECT_EQ(record.data, disk.GetSector(256));
}

TEST_F(BootRecordReaderTest, UnsignedRecordsAreNotHandedOut) {
  disk.PutSector(0, BootRecord({{0, kExtended, 100}}));
  disk.PutSector(100, BootRecord({{1, kExtended, 50}}, 1));
  disk.PutSector(150, BootRecord({}, 0xEE, false));
  ASSERT_EQ(reader.ReadFirstExtendedRecord(record), 0);
  const SectorRecord before = record;
  EXPECT_EQ(reader.ReadNextExtendedRecord(record), -2);
  EXPECT_EQ(record.lba, before.lba);
  EXPECT_EQ(record.data, before.data);
  EXPECT_EQ(reader.ReadNextExtendedRecord(record), -2);  // the rejected sector is still held

  disk.PutSector(0, BootRecord({}, 0x33, false));
  record.lba = 99;
  EXPECT_EQ(reader.ReadMasterBootRecord(record), -2);
  EXPECT_EQ(record.lba, 99U);
  EXPECT_EQ(reader.ReadFirstExtendedRecord(record), -2);
  EXPECT_TRUE(transcript.empty());
}

TEST_F(BootRecordReaderTest, UnreadableRecordsGiveMinusOneAfterTheReadMessage) {
  PutLogicalChain(disk, 63, 2);
  platform.readFaults[1] = TransferFault::Fail;
  EXPECT_EQ(reader.ReadMasterBootRecord(record), -1);
  platform.readFaults[3] = TransferFault::Fail;  // the first EBR
  EXPECT_EQ(reader.ReadFirstExtendedRecord(record), -1);
  ASSERT_EQ(reader.ReadFirstExtendedRecord(record), 0);
  platform.readFaults[6] = TransferFault::Short;  // the second EBR
  EXPECT_EQ(reader.ReadNextExtendedRecord(record), -1);
  EXPECT_EQ(transcript,
            std::vector<std::string>(3, std::string("app: ") + disk::kReadFailureMessage));
  ExpectEveryHandleClosed();
}

}  // namespace
}  // namespace corvane::testing
