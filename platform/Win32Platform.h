#pragma once

#include <functional>
#include <utility>

#include "platform/Platform.h"

namespace corvane::platform {

// The platform as Windows provides it. The only code below the user interface
// that talks to Win32 directly.
class Win32Platform final : public Platform {
 public:
  // The window that application messages are to be owned by (an HWND), asked
  // for at the moment a message is shown; none gives unowned messages.
  using OwnerLookup = std::function<void*()>;
  explicit Win32Platform(OwnerLookup messageOwner = {}) : messageOwner(std::move(messageOwner)) {}

  DeviceHandle OpenDevice(const std::string& name, Access access, Share share) override;
  void CloseDevice(DeviceHandle device) override;
  bool SetPosition(DeviceHandle device, std::uint64_t offset) override;
  bool ReadDevice(DeviceHandle device, std::span<std::uint8_t> buffer,
                  std::size_t& transferred) override;
  bool WriteDevice(DeviceHandle device, std::span<const std::uint8_t> buffer,
                   std::size_t& transferred) override;
  bool ControlDevice(DeviceHandle device, std::uint32_t code, std::span<const std::uint8_t> input,
                     std::span<std::uint8_t> output, std::uint32_t& returned) override;
  bool CreateFolder(const std::string& path) override;
  bool CopyFileReplacing(const std::string& source, const std::string& destination) override;
  void Sleep(std::uint32_t milliseconds) override;
  std::optional<std::size_t> ReadFileStart(const std::string& path,
                                           std::span<std::uint8_t> buffer) override;
  bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes) override;
  std::optional<std::string> ReplaceableFilePath(const std::string& path) override;
  bool HasFloppyDrive() override;
  std::vector<std::string> SystemVolumes() override;
  void ShowApplicationMessage(const std::string& text) override;
  std::uint32_t SystemVersion() override;
  void StartProgram(const std::string& commandLine, int showCommand) override;

 private:
  OwnerLookup messageOwner;
};

}  // namespace corvane::platform
