#pragma once

// The few UEFI tables and protocols the rescue program uses, laid out as the
// firmware passes them. The mingw compilers call functions as UEFI does (the
// Microsoft x64 convention, cdecl on IA-32), so no attribute is needed.
// Members the program never calls are kept only as untyped slots, so that the
// ones it calls sit at the firmware's offsets.

#include <cstddef>
#include <cstdint>

namespace corvane::uefi {

using Status = std::uintptr_t;
using Handle = void*;
using Event = void*;
using Char16 = char16_t;
using Slot = void*;

inline constexpr Status kSuccess = 0;
inline constexpr Status kErrorBit = Status{1} << (sizeof(Status) * 8 - 1);
inline constexpr bool Failed(Status status) { return (status & kErrorBit) != 0; }

struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};

inline constexpr Guid kLoadedImageProtocol{
    0x5B1B31A1, 0x9562, 0x11D2, {0x8E, 0x3F, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};
inline constexpr Guid kBlockIoProtocol{
    0x964E5B21, 0x6459, 0x11D2, {0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};
inline constexpr Guid kPciIoProtocol{
    0x4CF5B200, 0x68B8, 0x4CA5, {0x9E, 0xEC, 0xB2, 0x3E, 0x3F, 0x50, 0x02, 0x9A}};
inline constexpr Guid kDevicePathProtocol{
    0x09576E91, 0x6D3F, 0x11D2, {0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};

struct TableHeader {
  std::uint64_t signature;
  std::uint32_t revision;
  std::uint32_t headerSize;
  std::uint32_t crc32;
  std::uint32_t reserved;
};

struct InputKey {
  std::uint16_t scanCode;
  Char16 unicodeChar;
};

struct SimpleTextInput {
  Status (*reset)(SimpleTextInput* self, bool extendedVerification);
  Status (*readKeyStroke)(SimpleTextInput* self, InputKey* key);
  Event waitForKey;
};

struct SimpleTextOutput {
  Status (*reset)(SimpleTextOutput* self, bool extendedVerification);
  Status (*outputString)(SimpleTextOutput* self, const Char16* text);
  Slot testString;
  Slot queryMode;
  Status (*setMode)(SimpleTextOutput* self, std::uintptr_t mode);
  Status (*setAttribute)(SimpleTextOutput* self, std::uintptr_t attribute);
  Status (*clearScreen)(SimpleTextOutput* self);
  Slot setCursorPosition;
  Status (*enableCursor)(SimpleTextOutput* self, bool visible);
  Slot mode;
};

// Text attributes: foreground | background << 4.
inline constexpr std::uintptr_t kLightGray = 0x07;
inline constexpr std::uintptr_t kYellow = 0x0E;
inline constexpr std::uintptr_t kWhite = 0x0F;
inline constexpr std::uintptr_t kBlueBackground = 0x10;

struct BlockIoMedia {
  std::uint32_t mediaId;
  bool removableMedia;
  bool mediaPresent;
  bool logicalPartition;
  bool readOnly;
  bool writeCaching;
  std::uint32_t blockSize;
  std::uint32_t ioAlign;
  std::uint64_t lastBlock;
};
static_assert(offsetof(BlockIoMedia, blockSize) == 12 && offsetof(BlockIoMedia, lastBlock) == 24);

struct BlockIo {
  std::uint64_t revision;
  BlockIoMedia* media;
  Slot reset;
  Status (*readBlocks)(BlockIo* self, std::uint32_t mediaId, std::uint64_t lba,
                       std::uintptr_t bufferSize, void* buffer);
  Status (*writeBlocks)(BlockIo* self, std::uint32_t mediaId, std::uint64_t lba,
                        std::uintptr_t bufferSize, const void* buffer);
  Status (*flushBlocks)(BlockIo* self);
};
static_assert(offsetof(BlockIo, media) == 8);

// One node of a device path; a path ends with the node of type 7Fh, subtype FFh.
struct DevicePath {
  std::uint8_t type;
  std::uint8_t subType;
  std::uint8_t length[2];  // unaligned, little-endian
};

inline constexpr std::uint8_t kHardwarePath = 0x01;
inline constexpr std::uint8_t kMessagingPath = 0x03;
inline constexpr std::uint8_t kEndPath = 0x7F;
inline constexpr std::uint8_t kPciNode = 0x01;
inline constexpr std::uint8_t kAtapiNode = 0x01;
inline constexpr std::uint8_t kScsiNode = 0x02;
inline constexpr std::uint8_t kUsbNode = 0x05;
inline constexpr std::uint8_t kSataNode = 0x12;
inline constexpr std::uint8_t kNvmeNode = 0x17;
inline constexpr std::uint8_t kSdNode = 0x1A;
inline constexpr std::uint8_t kEmmcNode = 0x1D;

struct LoadedImage {
  std::uint32_t revision;
  Handle parentHandle;
  Slot systemTable;
  Handle deviceHandle;
  // The rest is not used.
};

inline constexpr std::uint32_t kTimerEvent = 0x80000000;
inline constexpr std::uint32_t kNotifySignal = 0x00000200;
inline constexpr std::uintptr_t kCallbackLevel = 8;
enum class TimerDelay : std::uint32_t { Cancel, Periodic, Relative };
enum class LocateSearch : std::uint32_t { AllHandles, ByRegisterNotify, ByProtocol };
enum class ResetType : std::uint32_t { Cold, Warm, Shutdown };

struct BootServices {
  TableHeader header;
  Slot raiseTpl;
  Slot restoreTpl;
  Slot allocatePages;
  Slot freePages;
  Slot getMemoryMap;
  Slot allocatePool;
  Status (*freePool)(void* buffer);
  Status (*createEvent)(std::uint32_t type, std::uintptr_t notifyTpl,
                        void (*notify)(Event event, void* context), void* context, Event* event);
  Status (*setTimer)(Event event, TimerDelay type, std::uint64_t triggerTime);
  Status (*waitForEvent)(std::uintptr_t count, Event* events, std::uintptr_t* index);
  Slot signalEvent;
  Slot closeEvent;
  Slot checkEvent;
  Slot installProtocolInterface;
  Slot reinstallProtocolInterface;
  Slot uninstallProtocolInterface;
  Status (*handleProtocol)(Handle handle, const Guid* protocol, void** interface);
  Slot reserved;
  Slot registerProtocolNotify;
  Slot locateHandle;
  Slot locateDevicePath;
  Slot installConfigurationTable;
  Slot loadImage;
  Slot startImage;
  Slot exit;
  Slot unloadImage;
  Slot exitBootServices;
  Slot getNextMonotonicCount;
  Status (*stall)(std::uintptr_t microseconds);
  Status (*setWatchdogTimer)(std::uintptr_t timeout, std::uint64_t watchdogCode,
                             std::uintptr_t dataSize, const Char16* data);
  Status (*connectController)(Handle controller, Handle* driverImages,
                              const DevicePath* remainingPath, bool recursive);
  Slot disconnectController;
  Slot openProtocol;
  Slot closeProtocol;
  Slot openProtocolInformation;
  Slot protocolsPerHandle;
  Status (*locateHandleBuffer)(LocateSearch searchType, const Guid* protocol, void* searchKey,
                               std::uintptr_t* handleCount, Handle** buffer);
};
static_assert(offsetof(BootServices, locateHandleBuffer) ==
              sizeof(TableHeader) + 36 * sizeof(Slot));

struct RuntimeServices {
  TableHeader header;
  Slot getTime;
  Slot setTime;
  Slot getWakeupTime;
  Slot setWakeupTime;
  Slot setVirtualAddressMap;
  Slot convertPointer;
  Slot getVariable;
  Slot getNextVariableName;
  Slot setVariable;
  Slot getNextHighMonotonicCount;
  void (*resetSystem)(ResetType type, Status status, std::uintptr_t dataSize, const void* data);
};

struct SystemTable {
  TableHeader header;
  const Char16* firmwareVendor;
  std::uint32_t firmwareRevision;
  Handle consoleInHandle;
  SimpleTextInput* conIn;
  Handle consoleOutHandle;
  SimpleTextOutput* conOut;
  Handle standardErrorHandle;
  SimpleTextOutput* stdErr;
  RuntimeServices* runtimeServices;
  BootServices* bootServices;
};

}  // namespace corvane::uefi
