#include "platform/Win32Platform.h"

#include <windows.h>
#include <winioctl.h>

#include <cstddef>

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

#include "platform/DeviceControl.h"
#include "platform/DriveLetter.h"
#include "platform/UniqueDevice.h"
#include "platform/Utf16.h"

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
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == layout::kDescriptorBusType);
static_assert(BusTypeUsb == layout::kBusTypeUsb);
static_assert(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS == layout::kVolumeGetDiskExtents);
static_assert(FSCTL_LOCK_VOLUME == layout::kLockVolume);
static_assert(FSCTL_DISMOUNT_VOLUME == layout::kDismountVolume);
static_assert(IOCTL_DISK_UPDATE_PROPERTIES == layout::kDiskUpdateProperties);
static_assert(offsetof(VOLUME_DISK_EXTENTS, NumberOfDiskExtents) == layout::kExtentsCount);
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == layout::kExtentsFirst);
static_assert(sizeof(DISK_EXTENT) == layout::kExtentSize);
static_assert(offsetof(DISK_EXTENT, DiskNumber) == layout::kExtentDiskNumber);
static_assert(offsetof(DISK_GEOMETRY_EX, Geometry) == 0);
static_assert(offsetof(DISK_GEOMETRY_EX, DiskSize) == layout::kGeometryExDiskSize);
static_assert(sizeof(DISK_GEOMETRY_EX) <= layout::kGeometryExReplySize);
static_assert(sizeof(GET_LENGTH_INFORMATION) == layout::kLengthInfoSize);
static_assert(offsetof(GET_LENGTH_INFORMATION, Length) == layout::kLengthInfoLength);
static_assert(DRIVE_UNKNOWN == static_cast<int>(DriveType::Unknown));
static_assert(DRIVE_NO_ROOT_DIR == static_cast<int>(DriveType::NoRootDirectory));
static_assert(DRIVE_REMOVABLE == static_cast<int>(DriveType::Removable));
static_assert(DRIVE_FIXED == static_cast<int>(DriveType::Fixed));
static_assert(DRIVE_REMOTE == static_cast<int>(DriveType::Remote));
static_assert(DRIVE_CDROM == static_cast<int>(DriveType::CdRom));
static_assert(DRIVE_RAMDISK == static_cast<int>(DriveType::RamDisk));

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
std::wstring ApplicationTitle() {
  std::array<wchar_t, MAX_PATH> path{};
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  std::wstring name(path.data(), std::min<std::size_t>(length, path.size()));
  name.erase(0, name.find_last_of(L"\\/:") + 1);
  const auto dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos && dot > 0) {
    name.erase(dot);
  }
  return name;
}

// The temporary file's name: a fixed prefix, 16 hexadecimal digits, ".tmp".
constexpr std::wstring_view kTemporaryPrefix = L"corvane-";
constexpr std::size_t kTemporaryNameLength = kTemporaryPrefix.size() + 16 + 4;
// Each attempt takes a new name; only a name already taken makes another.
constexpr int kTemporaryNameAttempts = 16;

std::optional<std::wstring> FullPathName(const std::wstring& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) {
    return std::nullopt;
  }
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) {
    return std::nullopt;
  }
  full.resize(length);
  return full;
}

// The folder part of a full path, with its final separator.
std::wstring FolderOf(const std::wstring& fullPath) {
  return fullPath.substr(0, fullPath.find_last_of(L"\\/") + 1);
}

// Whether a full path stays within MAX_PATH, terminating null included: the
// limit of every path the program hands to Windows.
bool WithinPathLimit(std::size_t length) { return length < MAX_PATH; }

std::uint64_t MixBits(std::uint64_t value) {
  // The finaliser of SplitMix64: every input bit reaches every output bit.
  value = (value ^ (value >> 30U)) * 0xBF58476D1CE4E5B9ULL;
  value = (value ^ (value >> 27U)) * 0x94D049BB133111EBULL;
  return value ^ (value >> 31U);
}

// A name that another user of the folder cannot guess in advance: the
// high-resolution counter and the time of the call, the process and the
// attempt. Safety does not rest on it: the file is only ever created new.
std::wstring TemporaryName(int attempt) {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t time = (std::uint64_t{now.dwHighDateTime} << 32U) | now.dwLowDateTime;
  const std::uint64_t process =
      (std::uint64_t{GetCurrentProcessId()} << 32U) | GetCurrentThreadId();
  std::uint64_t bits = MixBits(MixBits(static_cast<std::uint64_t>(counter.QuadPart) ^ time) ^
                               process ^ static_cast<std::uint64_t>(attempt));
  std::wstring name(kTemporaryPrefix);
  for (int digit = 0; digit < 16; ++digit, bits >>= 4U) {
    name += L"0123456789abcdef"[bits & 0xFU];
  }
  return name + L".tmp";
}

// A new, empty file of the program's own in folder, open for writing only by
// it. A name that exists, as a file, a folder or a link, is never opened: the
// reparse flag keeps Windows from creating a file where a link points.
std::optional<std::wstring> CreateTemporaryFile(const std::wstring& folder, HANDLE& file) {
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    std::wstring temporary = folder + TemporaryName(attempt);
    file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      return temporary;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace

DeviceHandle Win32Platform::OpenDevice(const std::string& name, Access access, Share share) {
  return FromHandle(CreateFileW(ToUtf16(name).c_str(), DesiredAccess(access), ShareMode(share),
                                nullptr, OPEN_EXISTING, 0, nullptr));
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

bool Win32Platform::CreateFolder(const std::string& path) {
  const std::wstring widePath = ToUtf16(path);
  if (CreateDirectoryW(widePath.c_str(), nullptr) != FALSE) {
    return true;
  }
  const DWORD attributes = GetFileAttributesW(widePath.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32Platform::CopyFileReplacing(const std::string& source, const std::string& destination) {
  return CopyFileW(ToUtf16(source).c_str(), ToUtf16(destination).c_str(), FALSE) != FALSE;
}

void Win32Platform::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

bool Win32Platform::WriteFileReplacing(const std::string& path,
                                       std::span<const std::uint8_t> bytes) {
  const auto target = FullPathName(ToUtf16(path));
  HANDLE handle = INVALID_HANDLE_VALUE;
  const auto temporary = target ? CreateTemporaryFile(FolderOf(*target), handle) : std::nullopt;
  if (!temporary) {
    return false;
  }
  bool written = false;
  {
    const UniqueDevice file(*this, FromHandle(handle));
    std::size_t total = 0;
    std::size_t done = 0;
    while (total < bytes.size() && WriteDevice(file.Get(), bytes.subspan(total), done) &&
           done > 0) {
      total += done;
    }
    written = total == bytes.size() && FlushFileBuffers(handle) != FALSE;
  }
  if (written && MoveFileExW(temporary->c_str(), target->c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE) {
    return true;
  }
  DeleteFileW(temporary->c_str());
  return false;
}

std::optional<std::string> Win32Platform::ReplaceableFilePath(const std::string& path) {
  const auto target = FullPathName(ToUtf16(path));
  if (!target || !WithinPathLimit(target->size()) ||
      !WithinPathLimit(FolderOf(*target).size() + kTemporaryNameLength)) {
    return std::nullopt;
  }
  return ToUtf8(*target);
}

namespace {

// The partition Windows booted from, as Setup records it (for example
// "\Device\HarddiskVolume1"); it often has no drive letter.
std::optional<std::string> SystemPartition() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\Setup", 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::array<wchar_t, MAX_PATH> value{};
  DWORD type = 0;
  // One character less, so that the value always ends in a NUL.
  DWORD size = sizeof(value) - sizeof(wchar_t);
  const LONG status = RegQueryValueExW(key, L"SystemPartition", nullptr, &type,
                                       reinterpret_cast<BYTE*>(value.data()), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ || value[0] != L'\\') {
    return std::nullopt;
  }
  return ToUtf8(value.data());
}

}  // namespace

// Asks for the drive's root, which needs no medium in the drive, and for the
// device behind the letter.
bool Win32Platform::HasFloppyDrive() {
  const auto type = static_cast<DriveType>(GetDriveTypeW(L"A:\\"));
  std::array<wchar_t, MAX_PATH> device{};
  if (QueryDosDeviceW(L"A:", device.data(), static_cast<DWORD>(device.size())) == 0) {
    return IsFloppyDriveLetter(type, std::nullopt);
  }
  return IsFloppyDriveLetter(type, ToUtf8(device.data()));
}

std::vector<std::string> Win32Platform::SystemVolumes() {
  std::vector<std::string> volumes;
  std::array<wchar_t, MAX_PATH> folder{};
  const UINT length = GetWindowsDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
  if (length < 2 || length >= folder.size() || folder[1] != L':') {
    return volumes;
  }
  volumes.push_back(ToUtf8(std::wstring(L"\\\\.\\") + folder[0] + L':'));
  if (const auto partition = SystemPartition()) {
    volumes.push_back("\\\\?\\GLOBALROOT" + *partition);
  }
  return volumes;
}

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
  MessageBoxW(owner, ToUtf16(text).c_str(), ApplicationTitle().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

std::uint32_t Win32Platform::SystemVersion() { return GetVersion(); }

void Win32Platform::StartProgram(const std::string& commandLine, int showCommand) {
  WinExec(commandLine.c_str(), static_cast<UINT>(showCommand));
}

}  // namespace corvane::platform
