#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "disk/Sector.h"
#include "platform/Platform.h"

namespace corvane::testing {

// A sparse device of whole sectors; sectors never written read as zeros.
class FakeDevice {
 public:
  explicit FakeDevice(std::uint64_t sizeInSectors) : sizeInSectors(sizeInSectors) {}

  void PutSector(std::uint64_t lba, const disk::Sector& data) { sectors[lba] = data; }
  [[nodiscard]] disk::Sector GetSector(std::uint64_t lba) const;
  [[nodiscard]] std::uint64_t SizeInBytes() const { return sizeInSectors * disk::kSectorSize; }
  [[nodiscard]] std::uint8_t GetByte(std::uint64_t offset) const;
  void PutByte(std::uint64_t offset, std::uint8_t value);
  [[nodiscard]] const std::map<std::uint64_t, disk::Sector>& WrittenSectors() const {
    return sectors;
  }

 private:
  std::uint64_t sizeInSectors;
  std::map<std::uint64_t, disk::Sector> sectors;
};

// Lost: the call reports every byte moved, but none was, as a drive that
// accepts a write it cannot keep or a read that returns no data.
enum class TransferFault { Fail, Short, Lost };

// One call that changed what a device or file holds, in the order made.
struct WriteEvent {
  std::string target;
  std::uint64_t offset;
  std::size_t size;
  friend bool operator==(const WriteEvent&, const WriteEvent&) = default;
};

// Answers a device I/O control request as a driver would.
using ControlHandler = std::function<bool(std::uint32_t code, std::span<const std::uint8_t> input,
                                          std::span<std::uint8_t> output, std::uint32_t& returned)>;

// In-memory devices and files by name, with faults to inject and a record of
// every call, every change and every handle left open.
class FakePlatform final : public platform::Platform {
 public:
  // Messages shown to the user go here, so that tests can check their order
  // against the status sink's.
  explicit FakePlatform(std::vector<std::string>& transcript) : transcript(transcript) {}

  FakeDevice& AddDevice(const std::string& name, std::uint64_t sizeInSectors);
  FakeDevice& Device(const std::string& name) { return devices.at(name); }
  // The device is gone, as a stick pulled out: its open handles fail every
  // transfer and it cannot be opened again.
  void RemoveDevice(const std::string& name) { devices.erase(name); }
  std::map<std::string, std::vector<std::uint8_t>> files;
  // Requests to a device without a handler fail.
  std::map<std::string, ControlHandler> controlHandlers;

  // Faults. Opens (of devices and files), positionings, reads and writes are
  // each counted from 1 across all devices.
  std::set<std::string> unopenable;
  std::set<std::string> unpositionable;
  std::set<int> openFaults;
  std::set<int> positionFaults;
  std::map<int, TransferFault> readFaults;
  std::map<int, TransferFault> writeFaults;
  bool copyFails = false;
  bool folderFails = false;
  bool fileWriteFails = false;
  bool floppyDrive = true;
  std::vector<std::string> systemVolumes = {"\\\\.\\C:"};
  // Relative file paths are taken from here; a full path longer than the
  // limit is one that Windows cannot write beside a temporary file.
  std::string currentFolder = "C:\\Rescue\\";
  std::size_t replaceablePathLimit = 230;
  std::uint32_t systemVersion = 0x0A280105;  // Windows XP

  std::vector<std::string> calls;
  // Runs after each call is recorded, while the caller waits on it, as the
  // user waits on a slow device.
  std::function<void()> onCall;
  std::vector<std::string> startedPrograms;
  std::vector<WriteEvent> writes;
  [[nodiscard]] std::vector<std::string> OpenHandles() const;
  [[nodiscard]] int OpenCount() const { return openCount; }
  [[nodiscard]] int PositionCount() const { return positionCount; }
  [[nodiscard]] int ReadCount() const { return readCount; }
  [[nodiscard]] int WriteCount() const { return writeCount; }

  platform::DeviceHandle OpenDevice(const std::string& name, platform::Access access,
                                    platform::Share share) override;
  void CloseDevice(platform::DeviceHandle device) override;
  bool SetPosition(platform::DeviceHandle device, std::uint64_t offset) override;
  bool ReadDevice(platform::DeviceHandle device, std::span<std::uint8_t> buffer,
                  std::size_t& transferred) override;
  bool WriteDevice(platform::DeviceHandle device, std::span<const std::uint8_t> buffer,
                   std::size_t& transferred) override;
  bool ControlDevice(platform::DeviceHandle device, std::uint32_t code,
                     std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                     std::uint32_t& returned) override;
  bool CreateFolder(const std::string& path) override;
  bool CopyFileReplacing(const std::string& source, const std::string& destination) override;
  void Sleep(std::uint32_t milliseconds) override;
  std::optional<std::size_t> ReadFileStart(const std::string& path,
                                           std::span<std::uint8_t> buffer) override;
  bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes) override;
  std::optional<std::string> ReplaceableFilePath(const std::string& path) override;
  bool HasFloppyDrive() override { return floppyDrive; }
  std::vector<std::string> SystemVolumes() override { return systemVolumes; }
  void ShowApplicationMessage(const std::string& text) override;
  std::uint32_t SystemVersion() override { return systemVersion; }
  void StartProgram(const std::string& commandLine, int showCommand) override {
    startedPrograms.push_back(commandLine + " /show " + std::to_string(showCommand));
  }

 private:
  struct OpenHandle {
    std::string name;
    platform::Access access;
    platform::Share share;
    std::uint64_t position;
  };

  void Record(std::string call);
  [[nodiscard]] bool SharingAllows(const std::string& name, platform::Share share) const;
  OpenHandle* Find(platform::DeviceHandle device);
  // Moves bytes between a device at the handle's position and the caller,
  // with the faults and size limits that apply.
  template <typename Move>
  bool Transfer(platform::DeviceHandle device, bool write, std::size_t wanted,
                std::size_t& transferred, Move move);
  // How many of wanted bytes a transfer moves: all, none (a failure) or half.
  static std::size_t Transferable(const std::map<int, TransferFault>& faults, int call,
                                  std::size_t wanted, bool& succeeds);

  std::vector<std::string>& transcript;
  std::map<std::string, FakeDevice> devices;
  std::map<std::uintptr_t, OpenHandle> handles;
  std::uintptr_t nextHandle = 1;
  int openCount = 0;
  int positionCount = 0;
  int readCount = 0;
  int writeCount = 0;
};

}  // namespace corvane::testing
