#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvane::platform {

// None opens a device for requests that need no access rights, such as the
// storage property query.
enum class Access : std::uint8_t { None, Read, Write, ReadWrite };
enum class Share : std::uint8_t { None, ReadWrite };

// An open device as the platform issued it; only that platform can interpret it.
struct DeviceHandle {
  std::uintptr_t value;
  friend bool operator==(DeviceHandle, DeviceHandle) = default;
};

// The same bit pattern as Win32's INVALID_HANDLE_VALUE.
inline constexpr DeviceHandle kInvalidDevice{~std::uintptr_t{0}};

// The Windows services that the disk and rescue code needs. The shipped program
// uses the Win32 implementation; tests substitute an in-memory one. Text,
// paths included, is UTF-8.
class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  Platform(Platform&&) = delete;
  Platform& operator=(Platform&&) = delete;
  virtual ~Platform() = default;

  // Opens an existing device or file; returns kInvalidDevice when that fails.
  virtual DeviceHandle OpenDevice(const std::string& name, Access access, Share share) = 0;
  virtual void CloseDevice(DeviceHandle device) = 0;
  // Moves to a byte offset from the beginning; false when the move failed.
  virtual bool SetPosition(DeviceHandle device, std::uint64_t offset) = 0;
  // Both report whether the call succeeded and how many bytes it moved, which
  // can be fewer than asked for even on success.
  virtual bool ReadDevice(DeviceHandle device, std::span<std::uint8_t> buffer,
                          std::size_t& transferred) = 0;
  virtual bool WriteDevice(DeviceHandle device, std::span<const std::uint8_t> buffer,
                           std::size_t& transferred) = 0;
  // Sends one device I/O control request; an empty input sends none.
  virtual bool ControlDevice(DeviceHandle device, std::uint32_t code,
                             std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                             std::uint32_t& returned) = 0;

  // Creates a folder; true when it was made or is there already.
  virtual bool CreateFolder(const std::string& path) = 0;
  // Copies a file, replacing the destination if it exists.
  virtual bool CopyFileReplacing(const std::string& source, const std::string& destination) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  // Reads up to buffer.size() bytes from the start of a file; nothing when the
  // file cannot be opened, otherwise how many bytes arrived.
  virtual std::optional<std::size_t> ReadFileStart(const std::string& path,
                                                   std::span<std::uint8_t> buffer) = 0;
  // Writes a whole file, replacing one of that name only once every byte is
  // written: a failure leaves no partial file behind and keeps the old one.
  // The bytes go to a new file of the program's own beside path first, so no
  // other file is ever opened, truncated or deleted on the way.
  virtual bool WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes) = 0;
  // The full path that WriteFileReplacing(path) writes, for a path as the user
  // typed it; nothing when Windows makes none of it, or when that temporary
  // file beside it would pass Windows' path length limit.
  virtual std::optional<std::string> ReplaceableFilePath(const std::string& path) = 0;
  // Whether the PC has a floppy drive A:, with or without a floppy in it.
  virtual bool HasFloppyDrive() = 0;
  // The volumes Windows runs from, as device names that open them: the one
  // holding the Windows folder, and the partition Windows booted from where
  // Windows tells it. Empty when not even the Windows folder is known.
  virtual std::vector<std::string> SystemVolumes() = 0;
  // A modal warning owned by the program's active window, captioned with the
  // program's name, with an OK button only.
  virtual void ShowApplicationMessage(const std::string& text) = 0;

  // GetVersion's answer: bit 31 is set outside the NT family.
  virtual std::uint32_t SystemVersion() = 0;
  // Starts a program from a command line, as WinExec does; nothing is reported.
  virtual void StartProgram(const std::string& commandLine, int showCommand) = 0;
};

}  // namespace corvane::platform
