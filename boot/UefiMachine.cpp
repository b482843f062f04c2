// The rescue program for UEFI PCs: the Machine of a PC through its firmware's
// boot services, and the entry point the firmware starts. Built only into
// bootx64.efi and bootia32.efi (freestanding mingw g++); everything that
// decides is in RescueData.cpp and RescueKernel.cpp, as for the BIOS kernel.
#include <array>
#include <cstddef>
#include <cstdint>

#include "boot/Machine.h"
#include "boot/RescueKernel.h"
#include "boot/Uefi.h"

namespace {
corvane::uefi::SystemTable* firmware = nullptr;

[[noreturn]] void Restart() {
  firmware->runtimeServices->resetSystem(corvane::uefi::ResetType::Cold, corvane::uefi::kSuccess, 0,
                                         nullptr);
  for (;;) {
  }
}
}  // namespace

extern "C" {
// The compiler's own calls for copying and clearing; no library provides them.
void* memcpy(void* destination, const void* source,  // NOLINT(readability-identifier-naming)
             std::size_t count) {
  auto* to = static_cast<std::uint8_t*>(destination);
  const auto* from = static_cast<const std::uint8_t*>(source);
  while (count-- > 0) {
    *to++ = *from++;
  }
  return destination;
}

void* memset(void* destination, int value,  // NOLINT(readability-identifier-naming)
             std::size_t count) {
  auto* to = static_cast<std::uint8_t*>(destination);
  while (count-- > 0) {
    *to++ = static_cast<std::uint8_t>(value);
  }
  return destination;
}

// A pure virtual function was called: never, since the one Machine overrides all.
void __cxa_pure_virtual() {  // NOLINT(*-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,readability-identifier-naming)
  Restart();
}
}

namespace corvane::boot {
namespace {

namespace efi = corvane::uefi;

// 18.2 ticks a second, as the BIOS timer counts, in the firmware's 100 ns units.
constexpr std::uint64_t kTickPeriod = 549254;
constexpr std::uint64_t kIdlePeriod = 100000;  // 10 ms
constexpr std::uintptr_t kIdleStallMicroseconds = 54925;
constexpr int kMostDisks = 32;
constexpr std::uint32_t kLargestBlock = 4096;

// A short text built without a runtime library.
class Name {
 public:
  Name& operator<<(const char* more) {
    while (*more != '\0' && length + 1 < text.size()) {
      text[length++] = *more++;
    }
    text[length] = '\0';
    return *this;
  }

  Name& operator<<(std::uint32_t value) {
    std::array<char, 11> digits{};
    std::size_t at = digits.size() - 1;
    do {
      digits[--at] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    return *this << &digits[at];
  }

  [[nodiscard]] const char* Text() const { return text.data(); }

 private:
  std::array<char, 24> text{};
  std::size_t length = 0;
};

// Device paths, node by node.
std::size_t NodeLength(const efi::DevicePath* node) {
  return static_cast<std::size_t>(node->length[0] | node->length[1] << 8U);
}

const efi::DevicePath* NextNode(const efi::DevicePath* node) {
  return reinterpret_cast<const efi::DevicePath*>(reinterpret_cast<const std::uint8_t*>(node) +
                                                  NodeLength(node));
}

// Whether node ends its path (or is too short to be a node).
bool IsEnd(const efi::DevicePath* node) {
  return node->type == efi::kEndPath || NodeLength(node) < sizeof(efi::DevicePath);
}

// The bytes of path before its end node.
std::size_t PathLength(const efi::DevicePath* path) {
  std::size_t length = 0;
  for (const efi::DevicePath* node = path; !IsEnd(node); node = NextNode(node)) {
    length += NodeLength(node);
  }
  return length;
}

const efi::DevicePath* LastNode(const efi::DevicePath* path) {
  const efi::DevicePath* last = nullptr;
  for (const efi::DevicePath* node = path; !IsEnd(node); node = NextNode(node)) {
    last = node;
  }
  return last;
}

const std::uint8_t* Bytes(const efi::DevicePath* path) {
  return reinterpret_cast<const std::uint8_t*>(path);
}

// Orders paths by their bytes, a path before those it begins: negative, 0 or
// positive. A missing path comes first.
int ComparePaths(const efi::DevicePath* first, const efi::DevicePath* second) {
  const std::size_t firstLength = first == nullptr ? 0 : PathLength(first);
  const std::size_t secondLength = second == nullptr ? 0 : PathLength(second);
  for (std::size_t at = 0; at < firstLength && at < secondLength; ++at) {
    if (Bytes(first)[at] != Bytes(second)[at]) {
      return Bytes(first)[at] < Bytes(second)[at] ? -1 : 1;
    }
  }
  return static_cast<int>(firstLength > secondLength) -
         static_cast<int>(firstLength < secondLength);
}

// Whether path lies on the device prefix names: prefix's nodes begin it.
bool LiesOn(const efi::DevicePath* path, const efi::DevicePath* prefix) {
  const std::size_t length = PathLength(prefix);
  if (PathLength(path) < length) {
    return false;
  }
  for (std::size_t at = 0; at < length; ++at) {
    if (Bytes(path)[at] != Bytes(prefix)[at]) {
      return false;
    }
  }
  return true;
}

std::uint32_t LittleEndian(const std::uint8_t* bytes, int count) {
  std::uint32_t value = 0;
  for (int at = count - 1; at >= 0; --at) {
    value = value << 8U | bytes[at];
  }
  return value;
}

// How the firmware's own menus name the disk: by the bus and place its path
// ends in, else by its place in the list, from 1.
Name NameOf(const efi::DevicePath* path, int number) {
  const efi::DevicePath* node = path == nullptr ? nullptr : LastNode(path);
  if (node != nullptr && node->type == efi::kMessagingPath) {
    const std::uint8_t* data = Bytes(node) + sizeof(efi::DevicePath);
    const std::size_t size = NodeLength(node) - sizeof(efi::DevicePath);
    switch (node->subType) {
      case efi::kAtapiNode:
        if (size >= 2) {
          return Name() << "IDE " << (data[0] == 0 ? "primary " : "secondary ")
                        << (data[1] == 0 ? "master" : "slave");
        }
        break;
      case efi::kScsiNode:
        if (size >= 2) {
          return Name() << "SCSI target " << LittleEndian(data, 2);
        }
        break;
      case efi::kUsbNode:
        if (size >= 1) {
          return Name() << "USB disk at port " << std::uint32_t{data[0]};
        }
        break;
      case efi::kSataNode:
        if (size >= 2) {
          return Name() << "SATA port " << LittleEndian(data, 2);
        }
        break;
      case efi::kNvmeNode:
        if (size >= 4) {
          return Name() << "NVMe namespace " << LittleEndian(data, 4);
        }
        break;
      case efi::kSdNode:
        return Name() << "SD card";
      case efi::kEmmcNode:
        return Name() << "eMMC";
      default:
        break;
    }
  }
  return Name() << static_cast<std::uint32_t>(number);
}

// A whole disk the rescue may restore.
struct Disk {
  efi::BlockIo* blockIo = nullptr;
  const efi::DevicePath* path = nullptr;
  Name name;
};

// Where blocks are read to and written from: aligned as any Block I/O asks,
// and as large as the largest block the medium may have.
alignas(kLargestBlock) std::array<std::uint8_t, kLargestBlock> bounce{};

// Counted by the firmware's timer at 18.2 Hz.
volatile std::uint32_t ticks = 0;

void CountTick(efi::Event /*event*/, void* /*context*/) { ticks = ticks + 1; }

efi::Char16 Wide(char character) {
  return static_cast<efi::Char16>(static_cast<unsigned char>(character));
}

// Lives in efi_main's frame and is never deleted, so it has no virtual
// destructor (which would need an operator delete).
class UefiMachine final : public Machine {  // NOLINT(cppcoreguidelines-virtual-class-destructor)
 public:
  UefiMachine(efi::Handle image, efi::SystemTable& system)
      : boot(*system.bootServices), conIn(*system.conIn), conOut(*system.conOut) {
    // The question waits for the user however long it takes them.
    boot.setWatchdogTimer(0, 0, 0, nullptr);
    conOut.setMode(&conOut, 0);  // 80 x 25, as the kernel lays its pages out
    conOut.setAttribute(&conOut, Attribute(Tone::Plain));
    conOut.clearScreen(&conOut);
    conOut.enableCursor(&conOut, true);  // where the answer goes, as on the BIOS screen
    StartTimers();
    FindMedium(image);
    ConnectDiskControllers();
    FindDisks();
  }

  void Write(const char* text, Tone tone) override {
    if (tone != shownTone) {
      shownTone = tone;
      conOut.setAttribute(&conOut, Attribute(tone));
    }
    std::array<efi::Char16, 64> line{};
    std::size_t length = 0;
    for (const char* at = text; *at != '\0'; ++at) {
      if (length + 3 > line.size()) {
        Output(line, length);
      }
      if (*at == '\n') {
        line[length++] = u'\r';
      }
      line[length++] = Wide(*at);
    }
    Output(line, length);
  }

  void WrapScreenLine() override { conOut.outputString(&conOut, u"\r\n"); }

  bool TakeKey(char& key) override {
    efi::InputKey pressed{};
    if (efi::Failed(conIn.readKeyStroke(&conIn, &pressed))) {
      return false;
    }
    key = pressed.unicodeChar < 0x80 ? static_cast<char>(pressed.unicodeChar) : '\0';
    return true;
  }

  std::uint32_t Ticks() override { return ticks; }

  void Idle() override {
    if (tickTimer == nullptr) {  // the ticks are counted here instead
      boot.stall(kIdleStallMicroseconds);
      ticks = ticks + 1;
      return;
    }
    std::array<efi::Event, 2> events{conIn.waitForKey, idleTimer};
    std::uintptr_t index = 0;
    if (idleTimer == nullptr ||
        efi::Failed(boot.setTimer(idleTimer, efi::TimerDelay::Relative, kIdlePeriod)) ||
        efi::Failed(boot.waitForEvent(events.size(), events.data(), &index))) {
      boot.stall(kIdlePeriod / 10);
    }
  }

  // The medium is no hard disk, unless it is a writable disk the firmware
  // lists: then it is the one after the others, which the kernel skips.
  std::uint8_t BootDrive() override {
    return bootIsDisk ? static_cast<std::uint8_t>(kFirstHardDisk + diskCount) : 0;
  }

  // Floppy sector n lies at byte n x 512 of the medium, a floppy or a stick
  // (512-byte blocks) or a CD's boot image (2,048-byte blocks).
  bool ReadFloppySector(int sector, SectorBuffer out) override {
    if (medium == nullptr || sector < 0) {
      return false;
    }
    const efi::BlockIoMedia& media = *medium->media;
    const std::uint32_t size = media.blockSize;
    if (size < disk::kSectorSize || size > kLargestBlock || size % disk::kSectorSize != 0) {
      return false;
    }
    const std::uint32_t byte = static_cast<std::uint32_t>(sector) * disk::kSectorSize;
    if (efi::Failed(medium->readBlocks(medium, media.mediaId, byte / size, size, bounce.data()))) {
      return false;
    }
    CopyBounce(byte % size, out);
    return true;
  }

  int CountHardDisks() override { return diskCount + (bootIsDisk ? 1 : 0); }

  bool HasDiskExtensions(std::uint8_t disk) override { return Find(disk) != nullptr; }

  bool ReadDiskGeometry(std::uint8_t disk, DiskGeometry& geometry) override {
    const Disk* found = Find(disk);
    if (found == nullptr) {
      return false;
    }
    const efi::BlockIoMedia& media = *found->blockIo->media;
    constexpr std::uint32_t kLargestReported = 0xFFFF;
    geometry.sectors = media.lastBlock + 1;
    geometry.bytesPerSector = static_cast<std::uint16_t>(
        media.blockSize < kLargestReported ? media.blockSize : kLargestReported);
    return true;
  }

  bool ReadDiskSector(std::uint8_t disk, std::uint32_t lba, SectorBuffer out) override {
    efi::BlockIo* blockIo = SectorDisk(disk);
    if (blockIo == nullptr || efi::Failed(blockIo->readBlocks(blockIo, blockIo->media->mediaId, lba,
                                                              disk::kSectorSize, bounce.data()))) {
      return false;
    }
    CopyBounce(0, out);
    return true;
  }

  bool WriteDiskSector(std::uint8_t disk, std::uint32_t lba, ConstSectorBuffer data) override {
    efi::BlockIo* blockIo = SectorDisk(disk);
    if (blockIo == nullptr) {
      return false;
    }
    for (std::size_t at = 0; at < data.size(); ++at) {
      bounce[at] = data[at];
    }
    return !efi::Failed(blockIo->writeBlocks(blockIo, blockIo->media->mediaId, lba,
                                             disk::kSectorSize, bounce.data())) &&
           !efi::Failed(blockIo->flushBlocks(blockIo));
  }

  const char* DiskName(std::uint8_t disk) override {
    const Disk* found = Find(disk);
    return found == nullptr ? nullptr : found->name.Text();
  }

 private:
  static std::uintptr_t Attribute(Tone tone) {
    switch (tone) {
      case Tone::Heading:
        return efi::kYellow | efi::kBlueBackground;
      case Tone::Strong:
        return efi::kWhite | efi::kBlueBackground;
      case Tone::Plain:
        break;
    }
    return efi::kLightGray | efi::kBlueBackground;
  }

  void Output(std::array<efi::Char16, 64>& line, std::size_t& length) {
    line[length] = u'\0';
    conOut.outputString(&conOut, line.data());
    length = 0;
  }

  // The timer that counts the ticks, and the one that ends an idle wait.
  void StartTimers() {
    if (efi::Failed(boot.createEvent(efi::kTimerEvent | efi::kNotifySignal, efi::kCallbackLevel,
                                     CountTick, nullptr, &tickTimer)) ||
        efi::Failed(boot.setTimer(tickTimer, efi::TimerDelay::Periodic, kTickPeriod))) {
      tickTimer = nullptr;
    }
    if (efi::Failed(boot.createEvent(efi::kTimerEvent, 0, nullptr, nullptr, &idleTimer))) {
      idleTimer = nullptr;
    }
  }

  template <typename Protocol>
  Protocol* Open(efi::Handle handle, const efi::Guid& guid) {
    void* found = nullptr;
    if (handle == nullptr || efi::Failed(boot.handleProtocol(handle, &guid, &found))) {
      return nullptr;
    }
    return static_cast<Protocol*>(found);
  }

  // The Block I/O and the path of the device this program was loaded from.
  void FindMedium(efi::Handle image) {
    const auto* loaded = Open<efi::LoadedImage>(image, efi::kLoadedImageProtocol);
    if (loaded == nullptr) {
      return;
    }
    mediumHandle = loaded->deviceHandle;
    medium = Open<efi::BlockIo>(mediumHandle, efi::kBlockIoProtocol);
    mediumPath = Open<const efi::DevicePath>(mediumHandle, efi::kDevicePathProtocol);
  }

  // A firmware that boots fast starts the drivers of the boot device alone,
  // so the disks may have no Block I/O yet: the drivers of every PCI device
  // (disk controllers, USB) are started, and those of what they find. Not
  // every handle's: that costs the user a good part of a second.
  void ConnectDiskControllers() const {
    efi::Handle* handles = nullptr;
    std::uintptr_t count = 0;
    if (efi::Failed(boot.locateHandleBuffer(efi::LocateSearch::ByProtocol, &efi::kPciIoProtocol,
                                            nullptr, &count, &handles))) {
      return;
    }
    for (std::uintptr_t at = 0; at < count; ++at) {
      boot.connectController(handles[at], nullptr, nullptr, true);
    }
    boot.freePool(handles);
  }

  // Every whole, present, writable disk but the medium and the disk it lies
  // on, ordered by device path, so that the same PC lists them alike.
  void FindDisks() {
    efi::Handle* handles = nullptr;
    std::uintptr_t count = 0;
    if (efi::Failed(boot.locateHandleBuffer(efi::LocateSearch::ByProtocol, &efi::kBlockIoProtocol,
                                            nullptr, &count, &handles))) {
      return;
    }
    for (std::uintptr_t at = 0; at < count && diskCount < kMostDisks; ++at) {
      auto* blockIo = Open<efi::BlockIo>(handles[at], efi::kBlockIoProtocol);
      if (blockIo == nullptr || !blockIo->media->mediaPresent || blockIo->media->logicalPartition ||
          blockIo->media->readOnly) {
        continue;
      }
      const auto* path = Open<const efi::DevicePath>(handles[at], efi::kDevicePathProtocol);
      if (handles[at] == mediumHandle ||
          (path != nullptr && mediumPath != nullptr && LiesOn(mediumPath, path))) {
        bootIsDisk = true;
        continue;
      }
      Insert(Disk{blockIo, path, {}});
    }
    boot.freePool(handles);
    for (int at = 0; at < diskCount; ++at) {
      disks[static_cast<std::size_t>(at)].name =
          NameOf(disks[static_cast<std::size_t>(at)].path, at + 1);
    }
  }

  void Insert(const Disk& disk) {
    int at = diskCount++;
    for (; at > 0 && ComparePaths(disk.path, disks[static_cast<std::size_t>(at - 1)].path) < 0;
         --at) {
      disks[static_cast<std::size_t>(at)] = disks[static_cast<std::size_t>(at - 1)];
    }
    disks[static_cast<std::size_t>(at)] = disk;
  }

  Disk* Find(std::uint8_t disk) {
    const int at = disk - kFirstHardDisk;
    return at >= 0 && at < diskCount ? &disks[static_cast<std::size_t>(at)] : nullptr;
  }

  // The disk's Block I/O where its blocks are sectors of 512 bytes.
  efi::BlockIo* SectorDisk(std::uint8_t disk) {
    Disk* found = Find(disk);
    return found == nullptr || found->blockIo->media->blockSize != disk::kSectorSize
               ? nullptr
               : found->blockIo;
  }

  static void CopyBounce(std::uint32_t offset, SectorBuffer out) {
    for (std::size_t at = 0; at < out.size(); ++at) {
      out[at] = bounce[offset + at];
    }
  }

  efi::BootServices& boot;
  efi::SimpleTextInput& conIn;
  efi::SimpleTextOutput& conOut;
  Tone shownTone = Tone::Plain;
  efi::Event tickTimer = nullptr;
  efi::Event idleTimer = nullptr;
  efi::Handle mediumHandle = nullptr;
  efi::BlockIo* medium = nullptr;
  const efi::DevicePath* mediumPath = nullptr;
  bool bootIsDisk = false;
  std::array<Disk, kMostDisks> disks{};
  int diskCount = 0;
};

RescueMemory memory;

}  // namespace
}  // namespace corvane::boot

// Where the firmware starts the program.
extern "C" corvane::uefi::Status efi_main(  // NOLINT(readability-identifier-naming)
    corvane::uefi::Handle image, corvane::uefi::SystemTable* system) {
  firmware = system;
  corvane::boot::UefiMachine machine(image, *system);
  corvane::boot::RunRescue(machine, corvane::boot::memory);
  Restart();
}
