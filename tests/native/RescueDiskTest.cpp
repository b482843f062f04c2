#include "rescue/RescueDisk.h"

#include "rescue/FloppyImage.h"
#include "rescue/RescueImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <utility>

#include "rescue/RescueStick.h"
#include "tests/support/AtaDrives.h"
#include "tests/support/DiskImages.h"
#include "tests/support/RescueFixture.h"

namespace corvane::testing {
namespace {

using rescue::CreateRescueDisk;

const std::string kPrompt = "info: Please insert a clean, formatted floppy disk.";
const std::string kWriteMessage = std::string("app: ") + disk::kWriteFailureMessage;
const std::string kNotFormattedMessage =
    "warning: The floppy disk in drive A: is not formatted as a 1.44 MB floppy disk.\nFormat it "
    "as a 1.44 MB floppy disk and try again. No rescue disk was created.";
const std::string kVerificationFailed = "Failed :: Rescue disk verification failed !";
const std::string kUefiProgramUnfit = "Failed :: Error reading UEFI rescue program !";
const std::string kUefiProgramsNotReadable =
    "warning: The UEFI rescue programs in \\EFI\\BOOT on the floppy cannot be read as "
    "written.\nUse a clean, freshly formatted floppy disk. No rescue disk was created.";
const std::string kKernelNotLoadable =
    "warning: The rescue kernel on the floppy cannot be loaded as written.\nUse a clean, freshly "
    "formatted floppy disk. No rescue disk was created.";

// A refusal before anything is made: the reason, then that no rescue disk exists.
std::string NoRescueDisk(const std::string& reason) {
  return "warning: " + reason + "\nNo rescue disk was created.";
}

std::string ReadBackMessage(int sector) {
  return "warning: The rescue floppy does not read back as written (floppy sector " +
         std::to_string(sector) + ").\nUse another floppy disk. No rescue disk was created.";
}

class RescueDiskTest : public RescueFixture {
 protected:
  RescueDiskTest() {
    UseGoodShippedFiles();
    lbas = PutLogicalChain(disk, 63, 3);
    FormatStandardFloppy();
  }

  void UseGoodShippedFiles() {
    const disk::Sector bootSector = FormattedBootSector(rescue::kStandardFloppyBpb);
    platform.files["os\\bs"].assign(bootSector.begin(), bootSector.end());
    platform.files["os\\bootcore.bin"] = Bytes("KERNEL", 3000);
    ShipUefiPrograms(platform);
  }

  // A 1.44 MB floppy as Windows formats it, holding the kernel as its copy
  // puts it: the raw device and the file system are one medium.
  void FormatStandardFloppy() { FormatRescueFloppy(platform); }

  void Run(int selected = 0, const std::optional<std::string>& imagePath = std::nullopt) {
    RecordingSink sink(transcript, selected);
    sink.answerYes = answerYes;
    sink.chosenFile = chosenFile;
    sink.chosenDestination = chosenDestination;
    CreateRescueDisk(platform, sink, imagePath);
    status = sink.status;
    ExpectEveryHandleClosed();
    // A stick may be written; the disk being rescued never.
    EXPECT_FALSE(std::ranges::any_of(platform.writes, [](const WriteEvent& write) {
      return write.target == disk::PhysicalDriveName(0);
    }));
  }

  // What the user saw in dialogs and message boxes, without the status texts.
  [[nodiscard]] std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    std::ranges::copy_if(transcript, std::back_inserter(messages), [](const std::string& line) {
      return !line.starts_with("status: ") && !line.starts_with("button: ");
    });
    return messages;
  }

  std::vector<std::uint32_t> lbas;
  std::string status;
  // An 8 GB USB stick as drive 1 with its volume E:, beside disk 0 and its
  // Windows volume C:.
  FakeDevice& AddStick() {
    AddVolume(platform, "C:", {0});
    AddVolume(platform, "E:", {1});
    return AddUsbDisk(platform, 1, kStick.bytes, "Cruzer Blade");
  }

  const disk::UsbDrive kStick{1, "USB Cruzer Blade", 8'004'304'896, {"E:"}};
  bool answerYes = true;
  std::optional<std::string> chosenFile;
  std::optional<std::size_t> chosenDestination = 0;
};

TEST_F(RescueDiskTest, WithoutASelectionOnlyAsks) {
  Run(-1);
  EXPECT_EQ(transcript, std::vector<std::string>{
                            "info: Please select a disk for which rescue disk is to be created !"});
  EXPECT_EQ(status, "Ready");
  EXPECT_TRUE(platform.calls.empty());
}

TEST_F(RescueDiskTest, ARunFillsTheFloppyInOrderAndReportsSuccess) {
  Run();
  EXPECT_EQ(transcript,
            (std::vector<std::string>{
                "button: off", kPrompt, "status: Copying Kernel Image File...",
                "status: Copying UEFI Rescue Programs...", "status: Writing disk Boot Sector...",
                "status: Reading Master Boot Record...", "status: Writing Master Boot Record...",
                "status: Writing Partition Boot Record #1...",
                "status: Writing Partition Boot Record #2...",
                "status: Writing Partition Boot Record #3...", "status: Writing Control Buffer...",
                "status: Verifying Rescue Disk...", "status: Corvane Disk Successfully Created",
                "notice", "button: on"}));
  EXPECT_EQ(platform.writes.front(), (WriteEvent{"a:\\bootcore.bin", 0, 3000}));
  EXPECT_EQ(FloppySectorsWritten(), (std::vector<std::uint64_t>{0, 3, 4, 5, 6, 7, 3}));
  EXPECT_EQ(platform.files.at("a:\\bootcore.bin"), platform.files.at("os\\bootcore.bin"));
  EXPECT_TRUE(std::ranges::equal(floppy.GetSector(0), platform.files.at("os\\bs")));
  EXPECT_EQ(floppy.GetSector(3), ControlBufferOf({0, 0, lbas[0], lbas[1], lbas[2]}));
  // Every file is read and checked before the floppy is touched; the UEFI
  // programs go into \EFI\BOOT after the kernel, before the pause.
  EXPECT_EQ(std::vector(platform.calls.begin(), platform.calls.begin() + 10),
            (std::vector<std::string>{
                "readfile os\\bootcore.bin", "readfile os\\bs", "readfile os\\efi\\bootx64.efi",
                "readfile os\\efi\\bootia32.efi", "copy os\\bootcore.bin a:\\bootcore.bin",
                "mkdir a:\\EFI", "mkdir a:\\EFI\\BOOT",
                "copy os\\efi\\bootx64.efi a:\\EFI\\BOOT\\BOOTX64.EFI",
                "copy os\\efi\\bootia32.efi a:\\EFI\\BOOT\\BOOTIA32.EFI", "sleep 3000"}));
}

TEST_F(RescueDiskTest, OnlyTheFirst512BytesOfALongerBootSectorImageAreWritten) {
  std::vector<std::uint8_t>& bootSector = platform.files["os\\bs"];
  bootSector[100] = 0xEB;  // the code differs from what the format left
  const std::vector<std::uint8_t> first512 = bootSector;
  const std::vector<std::uint8_t> tail = Bytes("0123456789", 88);
  bootSector.insert(bootSector.end(), tail.begin(), tail.end());
  const disk::Sector fat = floppy.GetSector(1);
  Run();
  EXPECT_EQ(status, "Corvane Disk Successfully Created");
  EXPECT_TRUE(std::ranges::equal(floppy.GetSector(0), first512));
  EXPECT_EQ(floppy.GetSector(1), fat);
}

TEST_F(RescueDiskTest, AnImageHoldsTheFloppyThatDriveAGetsSectorForSector) {
  Run();
  ASSERT_EQ(status, "Corvane Disk Successfully Created");
  const auto floppyStatuses = transcript;

  transcript.clear();
  platform.calls.clear();
  Run(0, "Rescue.IMG");
  EXPECT_EQ(status, "Corvane Disk Successfully Created");
  const std::vector<std::uint8_t>& image = platform.files.at("C:\\Rescue\\Rescue.IMG");
  ASSERT_EQ(image.size(), kFloppySectors * disk::kSectorSize);
  for (std::uint64_t k = 0; k < kFloppySectors; ++k) {
    const disk::Sector sector = floppy.GetSector(k);
    ASSERT_TRUE(std::equal(sector.begin(), sector.end(),
                           image.begin() + static_cast<std::ptrdiff_t>(k * disk::kSectorSize)))
        << "sector " << k;
  }
  // The same steps, without the floppy prompt and pause, and the advice last,
  // naming the file where it is.
  std::vector<std::string> expected(floppyStatuses.begin(), floppyStatuses.end() - 1);
  std::erase(expected, kPrompt);
  expected.push_back("info: " + rescue::ImageAdvice("C:\\Rescue\\Rescue.IMG"));
  expected.emplace_back("button: on");
  EXPECT_EQ(transcript, expected);
  EXPECT_EQ(std::ranges::count(platform.calls, "sleep 3000"), 0);
}

TEST_F(RescueDiskTest, WithoutAFloppyDriveOffersSticksAndImageFilesAndMakesOnlyWhatTheUserChose) {
  platform.floppyDrive = false;
  AddStick();
  const std::string choices =
      "choose: [USB drive USB Cruzer Blade (8.0 GB, E:)] [CD image file (.iso), to burn to a "
      "CD] [Floppy image file (.img), for a virtual machine]";
  chosenDestination = std::nullopt;
  Run();
  EXPECT_EQ(transcript, (std::vector<std::string>{"button: off", choices, "button: on"}));
  chosenDestination = 2;
  transcript.clear();
  Run();
  EXPECT_EQ(transcript,
            (std::vector<std::string>{"button: off", choices, "save as: Corvane-PhysicalDrive0.img",
                                      "button: on"}));
  chosenDestination = 0;
  answerYes = false;
  transcript.clear();
  Run();
  EXPECT_EQ(transcript,
            (std::vector<std::string>{"button: off", choices,
                                      "question: " + rescue::EraseQuestion(kStick), "button: on"}));
  EXPECT_EQ(status, "Ready");
  EXPECT_TRUE(platform.writes.empty());

  chosenDestination = 1;
  chosenFile = "C:\\Rescue\\Corvane-PhysicalDrive0.iso";
  Run();
  EXPECT_EQ(status, "Corvane Disk Successfully Created");
  const std::vector<std::uint8_t>& cd = platform.files.at(*chosenFile);
  EXPECT_EQ(cd.size() % 2048, 0U);
  constexpr std::ptrdiff_t kVolumeDescriptor = std::ptrdiff_t{16} * 2048;
  EXPECT_EQ(std::string(cd.begin() + kVolumeDescriptor + 1, cd.begin() + kVolumeDescriptor + 6),
            "CD001");

  // A path given with /image is taken as it is, without a choice.
  transcript.clear();
  Run(0, "given.img");
  EXPECT_EQ(std::ranges::count(transcript, choices), 0);
  EXPECT_EQ(status, "Corvane Disk Successfully Created");
  EXPECT_TRUE(platform.files.contains("C:\\Rescue\\given.img"));
  EXPECT_TRUE(FloppySectorsWritten().empty());
}

// The stick gets the floppy image's sectors from its first one, its last MiB
// zeroed, with its volume locked from before the first write until all of it
// was read back; everything between stays as it was.
TEST_F(RescueDiskTest, AStickGetsTheFloppyImageWithItsVolumesLockedAndIsReadBack) {
  Run(0, "same.img");
  const std::vector<std::uint8_t> image = platform.files.at("C:\\Rescue\\same.img");
  platform.floppyDrive = false;
  FakeDevice& stick = AddStick();
  const std::uint64_t lastSector = kStick.bytes / disk::kSectorSize - 1;
  disk::Sector old{};
  old.fill(0x5A);
  for (const std::uint64_t lba : {std::uint64_t{0}, std::uint64_t{2879}, std::uint64_t{2880},
                                  lastSector - 2048, lastSector - 2047, lastSector}) {
    stick.PutSector(lba, old);
  }
  transcript.clear();
  platform.calls.clear();
  platform.writes.clear();
  Run();
  EXPECT_EQ(Messages(), (std::vector<std::string>{
                            Messages().front(), "question: " + rescue::EraseQuestion(kStick),
                            "notice", "info: " + rescue::StickAdvice(kStick)}));
  EXPECT_EQ(status, "Corvane Disk Successfully Created");
  for (std::uint64_t lba = 0; lba < kFloppySectors; ++lba) {
    const disk::Sector sector = stick.GetSector(lba);
    ASSERT_TRUE(std::equal(sector.begin(), sector.end(),
                           image.begin() + static_cast<std::ptrdiff_t>(lba * disk::kSectorSize)))
        << "sector " << lba;
  }
  EXPECT_EQ(stick.GetSector(2880), old) << "the middle is not the rescue disk's";
  EXPECT_EQ(stick.GetSector(lastSector - 2048), old);
  EXPECT_EQ(stick.GetSector(lastSector - 2047), disk::Sector{});
  EXPECT_EQ(stick.GetSector(lastSector), disk::Sector{});
  for (const WriteEvent& write : platform.writes) {
    EXPECT_EQ(write.target, disk::PhysicalDriveName(1));
  }
  const auto first = [this](const std::string& prefix) {
    return std::ranges::find_if(platform.calls,
                                [&](const std::string& call) { return call.starts_with(prefix); }) -
           platform.calls.begin();
  };
  const auto last = [this](const std::string& prefix) {
    return platform.calls.rend() -
           std::ranges::find_if(platform.calls.rbegin(), platform.calls.rend(),
                                [&](const std::string& call) { return call.starts_with(prefix); }) -
           1;
  };
  const std::string pd1 = disk::PhysicalDriveName(1);
  EXPECT_LT(first("control \\\\.\\E: 0x90018"), first("control \\\\.\\E: 0x90020"));
  EXPECT_LT(first("control \\\\.\\E: 0x90020"), first("open " + pd1 + " rw share=none"));
  EXPECT_LT(first("open " + pd1 + " rw share=none"), first("write " + pd1));
  EXPECT_LT(last("read " + pd1), last("control " + pd1 + " 0x70140"));
  EXPECT_LT(last("control " + pd1 + " 0x70140"), last("close \\\\.\\E:"));
}

TEST_F(RescueDiskTest, AFailedImageLeavesNoFileAndAnExistingOneAsItWas) {
  const std::string old = "C:\\Rescue\\old.iso";
  platform.files[old] = Bytes("OLD", 100);
  platform.files["os\\bs"][511] = 0;
  Run(0, "old.iso");
  EXPECT_EQ(status, "Failed :: Error reading boot sector image !");
  UseGoodShippedFiles();
  platform.readFaults[3] = TransferFault::Fail;  // EBR 2
  Run(0, "old.iso");
  EXPECT_EQ(status, "Failed :: Error reading partition chain !");
  platform.readFaults.clear();
  platform.fileWriteFails = true;
  Run(0, "old.iso");
  EXPECT_EQ(status, "Failed :: Error writing image file !");
  EXPECT_EQ(Messages().back(),
            "warning: Failed to write the image file " + old + " !\nNo rescue disk was created.");
  EXPECT_EQ(platform.files.at(old), Bytes("OLD", 100));
  Run(0, "new.img");
  EXPECT_FALSE(platform.files.contains("C:\\Rescue\\new.img"));
  EXPECT_TRUE(FloppySectorsWritten().empty());
}

TEST_F(RescueDiskTest, AnImagePathThatWindowsWouldNotWriteAsAFileIsRefusedBeforeAnythingIsRead) {
  for (const std::string path : {"COM1.iso", "C:\\Rescue\\nul.img", "lpt9 .iso", "con",
                                 "\\\\.\\A:", "\\\\?\\GLOBALROOT\\Device\\Null.iso"}) {
    transcript.clear();
    Run(0, path);
    EXPECT_EQ(Messages().back(),
              "warning: " + path + " names a device, not a file. Choose another file name.");
    EXPECT_FALSE(platform.files.contains(path));
    EXPECT_EQ(std::ranges::count(transcript, "status: Copying Kernel Image File..."), 0);
  }
  for (const std::string path : {"COM10.iso", "console.iso", "C:\\AUX\\rescue.img", "LPT0.img"}) {
    EXPECT_FALSE(rescue::NamesDevice(path)) << path;
  }

  const std::string tooLong = std::string(platform.replaceablePathLimit, 'x') + ".iso";
  transcript.clear();
  Run(0, tooLong);
  EXPECT_EQ(status, "Failed :: Error writing image file !");
  EXPECT_EQ(Messages().back(), "warning: The path " + tooLong +
                                   " is too long for Windows to save the image there. Choose a "
                                   "shorter file name or a folder nearer the drive's root.\nNo "
                                   "rescue disk was created.");
  EXPECT_EQ(std::ranges::count(transcript, "status: Copying Kernel Image File..."), 0);
  EXPECT_TRUE(platform.writes.empty());
}

using DirectoryEntry = std::array<std::uint8_t, 32>;

// Where the root directory's entry slot lies on the floppy: its sectors follow
// one another.
std::uint64_t EntryOffset(std::size_t slot) {
  return rescue::kStandardRootDirectorySector * disk::kSectorSize + slot * DirectoryEntry().size();
}

DirectoryEntry GetEntry(const FakeDevice& floppy, std::size_t slot) {
  DirectoryEntry entry{};
  for (std::size_t k = 0; k < entry.size(); ++k) {
    entry[k] = floppy.GetByte(EntryOffset(slot) + k);
  }
  return entry;
}

void PutEntry(FakeDevice& floppy, std::size_t slot, const DirectoryEntry& entry) {
  for (std::size_t k = 0; k < entry.size(); ++k) {
    floppy.PutByte(EntryOffset(slot) + k, entry[k]);
  }
}

// A file's entry by its unpadded 8.3 name; a deleted file's starts with E5h.
DirectoryEntry EntryNamed(const char (&name)[12]) {
  DirectoryEntry entry{};
  std::copy_n(name, 11, entry.begin());
  entry[11] = 0x20;
  return entry;
}

// The kernel's entry moved from the first slot to behind entries.
std::function<void(FakePlatform&)> PutKernelEntryBehind(
    const std::vector<DirectoryEntry>& entries) {
  return [entries](FakePlatform& p) {
    FakeDevice& floppy = p.Device(disk::kFloppyDeviceName);
    const DirectoryEntry kernel = GetEntry(floppy, 0);
    const DirectoryEntry efi = GetEntry(floppy, 1);
    for (std::size_t slot = 0; slot < entries.size(); ++slot) {
      PutEntry(floppy, slot, entries[slot]);
    }
    PutEntry(floppy, entries.size(), kernel);
    PutEntry(floppy, entries.size() + 1, efi);
  };
}

// A kernel file whose chain and data run extraBytes past the kernel, and
// whose entry gives the kernel's size plus sizeError.
std::function<void(FakePlatform&)> MisstateKernelFile(std::size_t extraBytes,
                                                      std::uint32_t sizeError) {
  return [extraBytes, sizeError](FakePlatform& p) {
    const std::vector<std::uint8_t>& kernel = p.files.at("os\\bootcore.bin");
    std::vector<std::uint8_t> file = kernel;
    file.resize(kernel.size() + extraBytes);
    FakeDevice& floppy = p.Device(disk::kFloppyDeviceName);
    FormatFloppyWithKernel(floppy, rescue::kStandardFloppyBpb, file);
    DirectoryEntry entry = GetEntry(floppy, 0);
    disk::PutLittleEndian32(entry, 28, static_cast<std::uint32_t>(kernel.size()) + sizeError);
    PutEntry(floppy, 0, entry);
  };
}

// Deleted entries and other files before it, in a later directory sector, do
// not hide the kernel from the boot sector, which compares all 11 bytes of
// the name.
TEST_F(RescueDiskTest, TheKernelIsFoundBehindOtherEntriesAsTheBootSectorFindsIt) {
  std::vector<DirectoryEntry> entries(17, EntryNamed("\xE5OOTCOREBIN"));
  entries[3] = EntryNamed("BOOTCORETXT");
  PutKernelEntryBehind(entries)(platform);
  Run();
  EXPECT_EQ(status, "Corvane Disk Successfully Created");
}

// The boot sector loads 54 sectors, from 0000:1000 up to itself at 0000:7C00.
TEST_F(RescueDiskTest, TakesTheLargestKernelTheBootSectorLoads) {
  platform.files["os\\bootcore.bin"] = Bytes("KERNEL", 54 * disk::kSectorSize);
  FormatStandardFloppy();
  Run();
  EXPECT_EQ(status, "Corvane Disk Successfully Created");
}

struct FailureCase {
  const char* name;
  std::function<void(FakePlatform&)> inject;
  std::string finalStatus;
  std::vector<std::string> messages;
  std::vector<std::uint64_t> floppySectors;
};

// A floppy whose every sector reads back as written but whose kernel the
// boot sector would not load as it is.
FailureCase KernelNotLoadable(const char* name, std::function<void(FakePlatform&)> inject) {
  return {name,
          std::move(inject),
          kVerificationFailed,
          {kPrompt, kKernelNotLoadable},
          {0, 3, 4, 5, 6, 7, 3, 3}};
}

std::function<void(FakePlatform&)> FailAllAttemptsOfWrite(int first) {
  return [first](FakePlatform& p) {
    for (int n = first; n < first + disk::kFloppyAttempts; ++n) {
      p.writeFaults[n] = TransferFault::Fail;
    }
  };
}

std::function<void(FakePlatform&)> UseBootSectorFor(rescue::FloppyBpb bpb) {
  return [bpb](FakePlatform& p) {
    const disk::Sector bootSector = FormattedBootSector(bpb);
    p.files["os\\bs"].assign(bootSector.begin(), bootSector.end());
  };
}

// A floppy whose sector 0 holds bpb, as another format leaves it.
std::function<void(FakePlatform&)> FormatFloppyAs(rescue::FloppyBpb bpb) {
  return [bpb](FakePlatform& p) {
    FormatFloppyWithKernel(p.Device(disk::kFloppyDeviceName), bpb, p.files.at("os\\bootcore.bin"));
  };
}

std::function<void(FakePlatform&)> LoseWrite(int write) {
  return [write](FakePlatform& p) { p.writeFaults[write] = TransferFault::Lost; };
}

// Changes the byte at offset of floppy sector, as a file written later does.
std::function<void(FakePlatform&)> AlterFloppy(std::uint64_t sector, std::size_t offset) {
  return [sector, offset](FakePlatform& p) {
    FakeDevice& floppy = p.Device(disk::kFloppyDeviceName);
    floppy.PutByte(
        sector * disk::kSectorSize + offset,
        static_cast<std::uint8_t>(floppy.GetByte(sector * disk::kSectorSize + offset) ^ 1U));
  };
}

constexpr rescue::FloppyBpb With720KbLayout() { return {512, 2, 1, 2, 112, 1440, 3, 9, 2}; }

constexpr rescue::FloppyBpb WithSectorsPerTrack(std::uint16_t sectorsPerTrack) {
  rescue::FloppyBpb bpb = rescue::kStandardFloppyBpb;
  bpb.sectorsPerTrack = sectorsPerTrack;
  return bpb;
}

// A BPB the boot sector would divide by zero with.
constexpr rescue::FloppyBpb WithoutSectorSizes() {
  rescue::FloppyBpb bpb = WithSectorsPerTrack(0);
  bpb.bytesPerSector = 0;
  return bpb;
}

std::function<void(FakePlatform&)> UseKernelOf(std::size_t size) {
  return [size](FakePlatform& p) { p.files["os\\bootcore.bin"] = Bytes("KERNEL", size); };
}

void PrintTo(const FailureCase& failure, std::ostream* out) { *out << failure.name; }

class RescueDiskFailureTest : public RescueDiskTest,
                              public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RescueDiskFailureTest, EndsWithItsTextsTheButtonEnabledAndRoomForAnotherRun) {
  GetParam().inject(platform);
  Run();
  EXPECT_EQ(status, GetParam().finalStatus);
  EXPECT_EQ(Messages(), GetParam().messages);
  EXPECT_EQ(transcript.back(), "button: on");
  EXPECT_EQ(FloppySectorsWritten(), GetParam().floppySectors);
  EXPECT_EQ(floppy.GetSector(3), disk::Sector{});
  // Refused before the floppy prompt: drive A: is not even opened.
  if (GetParam().messages.front() != kPrompt) {
    for (const std::string& call : platform.calls) {
      EXPECT_TRUE(call.starts_with("readfile os\\")) << call;
    }
  }

  transcript.clear();
  platform.copyFails = false;
  platform.folderFails = false;
  platform.readFaults.clear();
  platform.writeFaults.clear();
  UseGoodShippedFiles();
  PutLogicalChain(disk, 63, 3);
  FormatStandardFloppy();
  Run();
  EXPECT_EQ(status, "Corvane Disk Successfully Created") << "the run after the failure";
}

const FailureCase kFailureCases[] = {
    {"KernelCopyFails",
     [](FakePlatform& p) { p.copyFails = true; },
     "Failed :: Error copying kernel image file !",
     {kPrompt,
      "warning: Failed to copy the rescue kernel file to the floppy disk !\nPlease check that "
      "the floppy disk is inserted in the drive and that os\\bootcore.bin exists."},
     {}},
    {"EmptyKernel",
     UseKernelOf(0),
     "Failed :: Error copying kernel image file !",
     {NoRescueDisk("The rescue kernel file os\\bootcore.bin is empty.")},
     {}},
    {"KernelLargerThanTheBootSectorLoads",
     UseKernelOf(rescue::kKernelLoadLimit + 1),
     "Failed :: Error copying kernel image file !",
     {NoRescueDisk("The rescue kernel file os\\bootcore.bin is larger than the boot sector can "
                   "load.")},
     {}},
    {"BootSectorImageMissing",
     [](FakePlatform& p) { p.files.erase("os\\bs"); },
     "Failed :: Boot sector image file not found !",
     {NoRescueDisk("Failed to read the boot sector image file os\\bs !")},
     {}},
    {"BootSectorImageOf511Bytes",
     [](FakePlatform& p) { p.files["os\\bs"].resize(511); },
     "Failed :: Error reading boot sector image !",
     {NoRescueDisk("Failed to read 512 bytes from the boot sector image file os\\bs !")},
     {}},
    {"BootSectorImageUnsigned",
     [](FakePlatform& p) { p.files["os\\bs"][510] = 0; },
     "Failed :: Error reading boot sector image !",
     {NoRescueDisk(
         "The boot sector image file os\\bs does not end with the boot signature 55 AA.")},
     {}},
    {"BootSectorWithoutSectorSizes",
     UseBootSectorFor(WithoutSectorSizes()),
     "Failed :: Error reading boot sector image !",
     {NoRescueDisk("The BPB of the boot sector image file os\\bs does not describe a 1.44 MB "
                   "floppy.")},
     {}},
    {"FloppyFormattedAs720Kb",
     FormatFloppyAs(With720KbLayout()),
     "Failed :: Floppy disk is not formatted as 1.44 MB !",
     {kPrompt, kNotFormattedMessage},
     {}},
    {"FloppyFormattedWithOtherTracks",
     FormatFloppyAs(WithSectorsPerTrack(21)),
     "Failed :: Floppy disk is not formatted as 1.44 MB !",
     {kPrompt, kNotFormattedMessage},
     {}},
    {"FloppyUnformatted",
     [](FakePlatform& p) { p.Device(disk::kFloppyDeviceName).PutSector(0, disk::Sector{}); },
     "Failed :: Floppy disk is not formatted as 1.44 MB !",
     {kPrompt, kNotFormattedMessage},
     {}},
    {"FloppySector0Unreadable",
     [](FakePlatform& p) {
       for (int n = 1; n <= disk::kFloppyAttempts; ++n) {
         p.readFaults[n] = TransferFault::Fail;
       }
     },
     "Failed :: Error reading floppy disk !",
     {kPrompt, std::string("app: ") + disk::kFloppyReadFailureMessage},
     {}},
    {"FloppySector0NotWritable",
     FailAllAttemptsOfWrite(1),
     "Failed :: Error writing floppy disk sectors !",
     {kPrompt, kWriteMessage,
      "warning: Failed to write boot sector to floppy disk !\nPlease check that the floppy disk "
      "is inserted in the drive."},
     {}},
    {"MbrUnreadable",
     [](FakePlatform& p) { p.readFaults[2] = TransferFault::Fail; },
     "Reading Master Boot Record failed !",
     {kPrompt, std::string("app: ") + disk::kReadFailureMessage,
      "warning: Failed to read Master Boot Record of your drive !"},
     {0}},
    {"RecordWriteFails",
     FailAllAttemptsOfWrite(4),
     "Failed :: Error writing floppy disk sectors !",
     {kPrompt, kWriteMessage},
     {0, 3, 4}},
    {"SecondEbrUnreadable",
     [](FakePlatform& p) { p.readFaults[5] = TransferFault::Fail; },
     "Failed :: Error reading partition chain !",
     {kPrompt, std::string("app: ") + disk::kReadFailureMessage},
     {0, 3, 4, 5}},
    // The root directory at sector 19: EBRs fit in sectors 5 to 18 only.
    {"MoreLogicalDrivesThanTheFloppyHolds",
     [](FakePlatform& p) { PutLogicalChain(p.Device(disk::PhysicalDriveName(0)), 63, 15); },
     "Failed :: Too many partitions for a rescue floppy !",
     {kPrompt,
      "warning: Your drive has more logical partitions than a rescue floppy can hold (at most "
      "14).\nNo rescue disk was created."},
     {0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}},
    // Writes go to sectors 0, 3, 4, 5, 6, 7 and 3; the read-back clears 3.
    {"BootSectorLostInTheDrive",
     [](FakePlatform& p) {
       LoseWrite(1)(p);
       p.files["os\\bs"][100] = 0xEB;  // the code differs from what the format left
     },
     kVerificationFailed,
     {kPrompt, ReadBackMessage(0)},
     {3, 4, 5, 6, 7, 3, 3}},
    {"CopyLostInTheDrive",
     LoseWrite(4),
     kVerificationFailed,
     {kPrompt, ReadBackMessage(5)},
     {0, 3, 4, 6, 7, 3, 3}},
    {"ControlBufferLostInTheDrive",
     LoseWrite(7),
     kVerificationFailed,
     {kPrompt, ReadBackMessage(3)},
     {0, 3, 4, 5, 6, 7, 3}},
    KernelNotLoadable("KernelEntryReadsBackDifferent",
                      AlterFloppy(rescue::kStandardRootDirectorySector, 0)),
    KernelNotLoadable("KernelClusterReadsBackDifferent",
                      AlterFloppy(rescue::kStandardRootDirectorySector + 14 + 2, 100)),
    // The boot sector stops at the first free entry and loads the whole chain;
    // a FAT driver reads as many bytes as the entry's size says.
    KernelNotLoadable("FreeEntryBeforeTheKernelEntry", PutKernelEntryBehind({DirectoryEntry{}})),
    KernelNotLoadable("KernelChainLongerThanTheKernel", MisstateKernelFile(disk::kSectorSize, 0)),
    KernelNotLoadable("KernelEntrySizeOtherThanTheKernels", MisstateKernelFile(0, 1)),
    {"UefiProgramMissing",
     [](FakePlatform& p) { p.files.erase("os\\efi\\bootia32.efi"); },
     kUefiProgramUnfit,
     {NoRescueDisk("Failed to read the UEFI rescue program file os\\efi\\bootia32.efi !")},
     {}},
    {"UefiProgramNotAnExecutable",
     [](FakePlatform& p) { p.files["os\\efi\\bootx64.efi"][1] = 'X'; },
     kUefiProgramUnfit,
     {NoRescueDisk("The UEFI rescue program file os\\efi\\bootx64.efi is not a UEFI program.")},
     {}},
    // The kernel takes 6 clusters, the two folders 2, BOOTIA32.EFI 3: 669 are left.
    {"UefiProgramsBeyondTheReachableClusters",
     [](FakePlatform& p) { p.files["os\\efi\\bootx64.efi"] = Bytes("MZ", 669 * 512 + 1); },
     kUefiProgramUnfit,
     {NoRescueDisk("The rescue kernel and the UEFI rescue programs in os\\ together are larger "
                   "than a rescue floppy can start.")},
     {}},
    {"UefiFoldersNotMade",
     [](FakePlatform& p) { p.folderFails = true; },
     "Failed :: Error copying UEFI rescue programs !",
     {kPrompt,
      "warning: Failed to copy the UEFI rescue programs to \\EFI\\BOOT on the floppy disk "
      "!\nPlease "
      "check that the floppy disk is inserted in the drive and not write-protected."},
     {}},
    // Floppy sector 42 holds the second cluster of BOOTX64.EFI.
    {"UefiProgramReadsBackDifferent",
     AlterFloppy(42, 7),
     kVerificationFailed,
     {kPrompt, kUefiProgramsNotReadable},
     {0, 3, 4, 5, 6, 7, 3, 3}},
    {"UefiProgramBeyondTheReachableClusters",
     [](FakePlatform& p) {
       FakeDevice& floppy = p.Device(disk::kFloppyDeviceName);
       disk::Sector boot = floppy.GetSector(40);  // the BOOT folder
       disk::PutLittleEndian16(boot, 2 * 32 + 26, 700);
       floppy.PutSector(40, boot);
     },
     kVerificationFailed,
     {kPrompt,
      "warning: The floppy has no room for the UEFI rescue programs in its first 682 clusters, "
      "the only ones the rescue reads.\nUse a clean, freshly formatted floppy disk. No rescue "
      "disk was created."},
     {0, 3, 4, 5, 6, 7, 3, 3}},
};

INSTANTIATE_TEST_SUITE_P(Failures, RescueDiskFailureTest, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct StickFault {
  const char* name;
  std::function<void(FakePlatform&)> inject;
  std::string finalStatus;
  std::string message;
  bool stickWritten;
};

void PrintTo(const StickFault& fault, std::ostream* out) { *out << fault.name; }

// Runs stage once, at the first call the platform records that starts with prefix.
std::function<void(FakePlatform&)> AtFirstCall(const std::string& prefix,
                                               const std::function<void(FakePlatform&)>& stage) {
  return [prefix, stage](FakePlatform& p) {
    p.onCall = [&p, prefix, stage, done = false]() mutable {
      if (!done && p.calls.back().starts_with(prefix)) {
        done = true;
        stage(p);
      }
    };
  };
}

std::string StickMessage(const std::string& text) {
  return "warning: " + std::string(text) + "\nNo rescue disk was created.";
}

class StickFailureTest : public RescueDiskTest, public ::testing::WithParamInterface<StickFault> {};

TEST_P(StickFailureTest, EndsWithItsOwnTextsAndNoRescueDiskReported) {
  platform.floppyDrive = false;
  AddStick();
  GetParam().inject(platform);
  Run();
  platform.onCall = nullptr;
  EXPECT_EQ(status, GetParam().finalStatus);
  EXPECT_EQ(Messages().back(), GetParam().message);
  EXPECT_EQ(std::ranges::count(transcript, "notice"), 0);
  EXPECT_EQ(platform.writes.empty(), !GetParam().stickWritten);
}

const std::string kStickText = "USB Cruzer Blade (8.0 GB, E:)";

const StickFault kStickFaults[] = {
    {"VolumeLockRefused",
     [](FakePlatform& p) {
       p.controlHandlers["\\\\.\\E:"] = [extents = p.controlHandlers.at("\\\\.\\E:")](
                                            std::uint32_t code, std::span<const std::uint8_t> in,
                                            std::span<std::uint8_t> out, std::uint32_t& returned) {
         return code != 0x90018 && extents(code, in, out, returned);
       };
     },
     "Failed :: USB drive in use !",
     StickMessage("The volume E: on the USB drive " + kStickText +
                  " is in use.\nClose the files, windows and programs that use it, then try "
                  "again."),
     false},
    {"ShortWrite", [](FakePlatform& p) { p.writeFaults[3] = TransferFault::Short; },
     "Failed :: Error writing USB drive !",
     StickMessage("The application failed to write to the USB drive " + kStickText +
                  " !\nIt may be write-protected or faulty."),
     true},
    {"LostWrite", [](FakePlatform& p) { p.writeFaults[1] = TransferFault::Lost; },
     kVerificationFailed,
     StickMessage("The USB drive " + kStickText +
                  " did not read back what was written to it.\nIt may be faulty, or smaller than "
                  "it claims to be."),
     true},
    {"PulledOutWhileWritten",
     AtFirstCall("write \\\\.\\PhysicalDrive1",
                 [](FakePlatform& p) { p.RemoveDevice(disk::PhysicalDriveName(1)); }),
     "Failed :: USB drive removed !",
     StickMessage("The USB drive " + kStickText + " was removed, or Windows no longer finds it."),
     false},
    // While the rescue data was gathered, another stick took the number.
    {"ReplacedBeforeTheWrite",
     AtFirstCall("readfile os\\bootcore.bin",
                 [](FakePlatform& p) { AddUsbDisk(p, 1, 16'000'000'000, "Other Stick"); }),
     "Failed :: USB drive removed !",
     StickMessage("The USB drive " + kStickText + " was removed, or Windows no longer finds it."),
     false},
};

INSTANTIATE_TEST_SUITE_P(Faults, StickFailureTest, ::testing::ValuesIn(kStickFaults),
                         [](const ::testing::TestParamInfo<StickFault>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace corvane::testing
