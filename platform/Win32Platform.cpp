#include "platform/Win32Platform.h"

#include <windows.h>
#include <winioctl.h>

#include <cstddef>

#include <algorithm>
#include <array>
#include <limits>

#include "platform/DeviceControl.h"
#include "platform/UniqueDevice.h"

namespace corvane::platform {
namespace {

// The portable code lays out the SMART, storage and geometry blocks itself; here the
// platform headers confirm every size and offset it relies on.
namespace layout = device_control;
static_assert(SMART_GET_VERSION == layout::kSmartGetVersion);
static_assert(SMART_RCV_DRIVE_DATA == layout::kSmartReceiveDriveData);
static_assert(IOCTL_DISK_GET_DRIVE_GEOMETRY == layout::kDiskGetDriveGeometry);
static_assert(sizeof(GETVERSIONINPARAMS) == layout::kVersionSize);
static_assert(offsetof(GETVERSIONINPARAMS, bIDEDeviceMap) == layout::kVersionIdeDeviceMap);
static_assert(sizeof(SENDCMDINPARAMS) == layout::kCommandSize);
static_assert(offsetof(SENDCMDINPARAMS, bBuffer) == layout::kCommandSentSize);
static_assert(offsetof(SENDCMDINPARAMS, cBufferSize) == layout::kCommandBufferSize);
static_assert(offsetof(SENDCMDINPARAMS, irDriveRegs) == layout::kCommandRegisters);
static_assert(offsetof(SENDCMDINPARAMS, bDriveNumber) == layout::kCommandDriveNumber);
static_assert(sizeof(IDEREGS) == 8);
static_assert(offsetof(IDEREGS, bFeaturesReg) == layout::kRegisterFeatures);
static_assert(offsetof(IDEREGS, bSectorCountReg) == layout::kRegisterSectorCount);
static_assert(offsetof(IDEREGS, bSectorNumberReg) == layout::kRegisterSectorNumber);
static_assert(offsetof(IDEREGS, bCylLowReg) == layout::kRegisterCylinderLow);
static_assert(offsetof(IDEREGS, bCylHighReg) == layout::kRegisterCylinderHigh);
static_assert(offsetof(IDEREGS, bDriveHeadReg) == layout::kRegisterDriveHead);
static_assert(offsetof(IDEREGS, bCommandReg) == layout::kRegisterCommand);
static_assert(sizeof(DRIVERSTATUS) == 12);
static_assert(offsetof(SENDCMDOUTPARAMS, DriverStatus) == 4);
static_assert(offsetof(SENDCMDOUTPARAMS, bBuffer) == layout::kReplyHeaderSize);
static_assert(sizeof(DISK_GEOMETRY) == layout::kGeometrySize);
static_assert(offsetof(DISK_GEOMETRY, Cylinders) == layout::kGeometryCylinders);
static_assert(offsetof(DISK_GEOMETRY, TracksPerCylinder) == layout::kGeometryTracksPerCylinder);
static_assert(offsetof(DISK_GEOMETRY, SectorsPerTrack) == layout::kGeometrySectorsPerTrack);
static_assert(offsetof(DISK_GEOMETRY, BytesPerSector) == layout::kGeometryBytesPerSector);
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == layout::kStorageQueryProperty);
static_assert(IOCTL_DISK_GET_DRIVE_GEOMETRY_EX == layout::kDiskGetDriveGeometryEx);
static_assert(IOCTL_DISK_GET_LENGTH_INFO == layout::kDiskGetLengthInfo);
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == layout::kPropertyQuerySize);
static_assert(offsetof(STORAGE_PROPERTY_QUERY, PropertyId) == layout::kPropertyQueryPropertyId);
static_assert(offsetof(STORAGE_PROPERTY_QUERY, QueryType) == layout::kPropertyQueryQueryType);
static_assert(sizeof(STORAGE_PROPERTY_ID) == 4 && sizeof(STORAGE_QUERY_TYPE) == 4);
static_assert(StorageDeviceProperty == layout::kStorageDeviceProperty);
static_assert(PropertyStandardQuery == layout::kPropertyStandardQuery);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset) ==
              layout::kDescriptorVendorIdOffset);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset) ==
              layout::kDescriptorProductIdOffset);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset) ==
              layout::kDescriptorSerialNumberOffset);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties) ==
              layout::kDescriptorFixedSize);
static_assert(sizeof(STORAGE_DEVICE_DESCRIPTOR) <= layout::kDescriptorReplySize);
static_assert(offsetof(DISK_GEOMETRY_EX, Geometry) == 0);
static_assert(offsetof(DISK_GEOMETRY_EX, DiskSize) == layout::kGeometryExDiskSize);
static_assert(sizeof(DISK_GEOMETRY_EX) <= layout::kGeometryExReplySize);
static_assert(sizeof(GET_LENGTH_INFORMATION) == layout::kLengthInfoSize);
static_assert(offsetof(GET_LENGTH_INFORMATION, Length) == layout::kLengthInfoLength);

HANDLE ToHandle(DeviceHandle device) {
  return reinterpret_cast<HANDLE>(device.value);  // NOLINT(performance-no-int-to-ptr)
}

DeviceHandle FromHandle(HANDLE handle) {
  return DeviceHandle{reinterpret_cast<std::uintptr_t>(handle)};
}

DWORD DesiredAccess(Access access) {
  switch (access) {
    case Access::None:
      return 0;
    case Access::Read:
      return GENERIC_READ;
    case Access::Write:
      return GENERIC_WRITE;
    case Access::ReadWrite:
      return GENERIC_READ | GENERIC_WRITE;
  }
  return 0;
}

DWORD ShareMode(Share share) {
  return share == Share::ReadWrite ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
}

// ReadFile and WriteFile take a 32-bit length; no caller moves more than a few
// sectors, but a larger buffer must not wrap around to a small length.
DWORD ClampedLength(std::size_t size) {
  return static_cast<DWORD>(std::min<std::size_t>(size, std::numeric_limits<DWORD>::max()));
}

// The program's own name without folder or extension, as Windows programs
// caption their messages.
std::string ApplicationTitle() {
  std::array<char, MAX_PATH> path{};
  const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
  std::string name(path.data(), std::min<std::size_t>(length, path.size()));
  name.erase(0, name.find_last_of("\\/:") + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) {
    name.erase(dot);
  }
  return name;
}

}  // namespace

DeviceHandle Win32Platform::OpenDevice(const std::string& name, Access access, Share share) {
  return FromHandle(CreateFileA(name.c_str(), DesiredAccess(access), ShareMode(share), nullptr,
                                OPEN_EXISTING, 0, nullptr));
}

void Win32Platform::CloseDevice(DeviceHandle device) { CloseHandle(ToHandle(device)); }

bool Win32Platform::SetPosition(DeviceHandle device, std::uint64_t offset) {
  LARGE_INTEGER distance{};
  distance.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(ToHandle(device), distance, nullptr, FILE_BEGIN) != FALSE;
}

bool Win32Platform::ReadDevice(DeviceHandle device, std::span<std::uint8_t> buffer,
                               std::size_t& transferred) {
  DWORD done = 0;
  const BOOL ok =
      ReadFile(ToHandle(device), buffer.data(), ClampedLength(buffer.size()), &done, nullptr);
  transferred = done;
  return ok != FALSE;
}

bool Win32Platform::WriteDevice(DeviceHandle device, std::span<const std::uint8_t> buffer,
                                std::size_t& transferred) {
  DWORD done = 0;
  const BOOL ok =
      WriteFile(ToHandle(device), buffer.data(), ClampedLength(buffer.size()), &done, nullptr);
  transferred = done;
  return ok != FALSE;
}

bool Win32Platform::ControlDevice(DeviceHandle device, std::uint32_t code,
                                  std::span<const std::uint8_t> input,
                                  std::span<std::uint8_t> output, std::uint32_t& returned) {
  // The request block is only read, whatever the declared parameter says.
  void* inputBuffer = input.empty() ? nullptr : const_cast<std::uint8_t*>(input.data());
  DWORD done = 0;
  const BOOL ok = DeviceIoControl(ToHandle(device), code, inputBuffer, ClampedLength(input.size()),
                                  output.data(), ClampedLength(output.size()), &done, nullptr);
  returned = done;
  return ok != FALSE;
}

bool Win32Platform::CopyFileReplacing(const std::string& source, const std::string& destination) {
  return CopyFileA(source.c_str(), destination.c_str(), FALSE) != FALSE;
}

void Win32Platform::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

bool Win32Platform::WriteFileReplacing(const std::string& path,
                                       std::span<const std::uint8_t> bytes) {
  // The new file is written whole beside the old one, then takes its name.
  const std::string temporary = path + ".tmp";
  bool written = false;
  {
    const UniqueDevice file(
        *this, FromHandle(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file.IsValid()) {
      return false;
    }
    std::size_t total = 0;
    std::size_t done = 0;
    while (total < bytes.size() && WriteDevice(file.Get(), bytes.subspan(total), done) &&
           done > 0) {
      total += done;
    }
    written = total == bytes.size() && FlushFileBuffers(ToHandle(file.Get())) != FALSE;
  }
  if (written && MoveFileExA(temporary.c_str(), path.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE) {
    return true;
  }
  DeleteFileA(temporary.c_str());
  return false;
}

// Asks for the drive's root, which needs no medium in the drive.
bool Win32Platform::HasFloppyDrive() { return GetDriveTypeA("A:\\") != DRIVE_NO_ROOT_DIR; }

std::optional<std::size_t> Win32Platform::ReadFileStart(const std::string& path,
                                                        std::span<std::uint8_t> buffer) {
  const UniqueDevice file(*this, OpenDevice(path, Access::Read, Share::ReadWrite));
  if (!file.IsValid()) {
    return std::nullopt;
  }
  // A file read can stop short of the end (for example on a network share), so
  // keep reading until the buffer is full or the file has no more.
  std::size_t total = 0;
  std::size_t done = 0;
  while (total < buffer.size() && ReadDevice(file.Get(), buffer.subspan(total), done) && done > 0) {
    total += done;
  }
  return total;
}

void Win32Platform::ShowApplicationMessage(const std::string& text) {
  HWND owner = messageOwner ? static_cast<HWND>(messageOwner()) : nullptr;
  MessageBoxA(owner, text.c_str(), ApplicationTitle().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

std::uint32_t Win32Platform::SystemVersion() { return GetVersion(); }

void Win32Platform::StartProgram(const std::string& commandLine, int showCommand) {
  WinExec(commandLine.c_str(), static_cast<UINT>(showCommand));
}

}  // namespace corvane::platform
