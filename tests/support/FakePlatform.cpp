#include "tests/support/FakePlatform.h"

#include <algorithm>
#include <sstream>
#include <utility>

namespace corvane::testing {
namespace {

using platform::Access;
using platform::DeviceHandle;
using platform::Share;

const char* AccessName(Access access) {
  switch (access) {
    case Access::None:
      return "none";
    case Access::Read:
      return "r";
    case Access::Write:
      return "w";
    case Access::ReadWrite:
      return "rw";
  }
  return "?";
}

bool CanRead(Access access) { return access == Access::Read || access == Access::ReadWrite; }
bool CanWrite(Access access) { return access == Access::Write || access == Access::ReadWrite; }

}  // namespace

disk::Sector FakeDevice::GetSector(std::uint64_t lba) const {
  const auto found = sectors.find(lba);
  return found == sectors.end() ? disk::Sector{} : found->second;
}

std::uint8_t FakeDevice::GetByte(std::uint64_t offset) const {
  const auto found = sectors.find(offset / disk::kSectorSize);
  return found == sectors.end() ? 0 : found->second[offset % disk::kSectorSize];
}

void FakeDevice::PutByte(std::uint64_t offset, std::uint8_t value) {
  sectors[offset / disk::kSectorSize][offset % disk::kSectorSize] = value;
}

FakeDevice& FakePlatform::AddDevice(const std::string& name, std::uint64_t sizeInSectors) {
  return devices.insert_or_assign(name, FakeDevice(sizeInSectors)).first->second;
}

std::vector<std::string> FakePlatform::OpenHandles() const {
  std::vector<std::string> names;
  for (const auto& [value, handle] : handles) {
    names.push_back(handle.name);
  }
  return names;
}

DeviceHandle FakePlatform::OpenDevice(const std::string& name, Access access, Share share) {
  if (openFaults.contains(++openCount) || !devices.contains(name) || unopenable.contains(name) ||
      (access != Access::None && !SharingAllows(name, share))) {
    Record("open-failed " + name);
    return platform::kInvalidDevice;
  }
  Record("open " + name + " " + AccessName(access) +
         (share == Share::None ? " share=none" : " share=rw"));
  handles.emplace(nextHandle, OpenHandle{name, access, share, 0});
  return DeviceHandle{nextHandle++};
}

void FakePlatform::CloseDevice(DeviceHandle device) {
  const OpenHandle* handle = Find(device);
  Record("close " + (handle != nullptr ? handle->name : "<not open>"));
  handles.erase(device.value);
}

bool FakePlatform::SetPosition(DeviceHandle device, std::uint64_t offset) {
  OpenHandle* handle = Find(device);
  if (handle == nullptr) {
    return false;
  }
  Record("seek " + handle->name + " " + std::to_string(offset));
  if (positionFaults.contains(++positionCount) || unpositionable.contains(handle->name)) {
    return false;
  }
  handle->position = offset;
  return true;
}

std::size_t FakePlatform::Transferable(const std::map<int, TransferFault>& faults, int call,
                                       std::size_t wanted, bool& succeeds) {
  const auto fault = faults.find(call);
  succeeds = fault == faults.end() || fault->second != TransferFault::Fail;
  if (fault == faults.end() || fault->second == TransferFault::Lost) {
    return wanted;
  }
  return fault->second == TransferFault::Short ? wanted / 2 : 0;
}

template <typename Move>
bool FakePlatform::Transfer(DeviceHandle device, bool write, std::size_t wanted,
                            std::size_t& transferred, Move move) {
  transferred = 0;
  OpenHandle* handle = Find(device);
  if (handle == nullptr || !(write ? CanWrite : CanRead)(handle->access)) {
    return false;
  }
  Record((write ? "write " : "read ") + handle->name + " " + std::to_string(wanted));
  // Checked after the call is recorded, when the device may have gone.
  if (!devices.contains(handle->name)) {
    return false;
  }
  bool succeeds = false;
  const auto& faults = write ? writeFaults : readFaults;
  const int call = write ? ++writeCount : ++readCount;
  std::size_t count = Transferable(faults, call, wanted, succeeds);
  FakeDevice& target = devices.at(handle->name);
  const std::uint64_t size = target.SizeInBytes();
  count = std::min<std::uint64_t>(count, size - std::min(handle->position, size));
  const bool lost = faults.contains(call) && faults.at(call) == TransferFault::Lost;
  if (!lost) {
    move(target, handle->position, count);
  }
  if (write && count > 0 && !lost) {
    writes.push_back({handle->name, handle->position, count});
  }
  handle->position += count;
  transferred = count;
  return succeeds;
}

bool FakePlatform::ReadDevice(DeviceHandle device, std::span<std::uint8_t> buffer,
                              std::size_t& transferred) {
  return Transfer(device, false, buffer.size(), transferred,
                  [&](const FakeDevice& source, std::uint64_t at, std::size_t count) {
                    for (std::size_t i = 0; i < count; ++i) {
                      buffer[i] = source.GetByte(at + i);
                    }
                  });
}

bool FakePlatform::WriteDevice(DeviceHandle device, std::span<const std::uint8_t> buffer,
                               std::size_t& transferred) {
  return Transfer(device, true, buffer.size(), transferred,
                  [&](FakeDevice& target, std::uint64_t at, std::size_t count) {
                    for (std::size_t i = 0; i < count; ++i) {
                      target.PutByte(at + i, buffer[i]);
                    }
                  });
}

bool FakePlatform::ControlDevice(DeviceHandle device, std::uint32_t code,
                                 std::span<const std::uint8_t> input,
                                 std::span<std::uint8_t> output, std::uint32_t& returned) {
  const OpenHandle* handle = Find(device);
  if (handle == nullptr) {
    return false;
  }
  std::ostringstream hex;
  hex << std::hex << std::showbase << code;
  Record("control " + handle->name + " " + hex.str());
  const auto handler = controlHandlers.find(handle->name);
  return handler != controlHandlers.end() && handler->second(code, input, output, returned);
}

bool FakePlatform::CreateFolder(const std::string& path) {
  Record("mkdir " + path);
  return !folderFails;
}

bool FakePlatform::CopyFileReplacing(const std::string& source, const std::string& destination) {
  Record("copy " + source + " " + destination);
  if (copyFails || !files.contains(source)) {
    return false;
  }
  files[destination] = files.at(source);
  writes.push_back({destination, 0, files.at(source).size()});
  return true;
}

void FakePlatform::Sleep(std::uint32_t milliseconds) {
  Record("sleep " + std::to_string(milliseconds));
}

std::optional<std::size_t> FakePlatform::ReadFileStart(const std::string& path,
                                                       std::span<std::uint8_t> buffer) {
  Record("readfile " + path);
  const auto found = files.find(path);
  if (openFaults.contains(++openCount) || found == files.end()) {
    return std::nullopt;
  }
  const std::size_t count = std::min(buffer.size(), found->second.size());
  std::copy_n(found->second.begin(), count, buffer.begin());
  return count;
}

bool FakePlatform::WriteFileReplacing(const std::string& path,
                                      std::span<const std::uint8_t> bytes) {
  Record("writefile " + path);
  if (fileWriteFails) {
    return false;
  }
  files[path].assign(bytes.begin(), bytes.end());
  writes.push_back({path, 0, bytes.size()});
  return true;
}

std::optional<std::string> FakePlatform::ReplaceableFilePath(const std::string& path) {
  Record("fullpath " + path);
  const bool full = path.starts_with("\\\\") || (path.size() > 1 && path[1] == ':');
  std::string fullPath = full ? path : currentFolder + path;
  if (fullPath.size() > replaceablePathLimit) {
    return std::nullopt;
  }
  return fullPath;
}

void FakePlatform::ShowApplicationMessage(const std::string& text) {
  Record("message " + text);
  transcript.push_back("app: " + text);
}

void FakePlatform::Record(std::string call) {
  calls.push_back(std::move(call));
  if (onCall) {
    onCall();
  }
}

bool FakePlatform::SharingAllows(const std::string& name, Share share) const {
  // An open that reads or writes is refused while a handle that shares
  // nothing is open, and two such handles coexist only when both share
  // reading and writing; an open for no data access is never refused, as in
  // Windows.
  return std::ranges::all_of(handles, [&](const auto& entry) {
    return entry.second.name != name || entry.second.access == Access::None ||
           (share == Share::ReadWrite && entry.second.share == Share::ReadWrite);
  });
}

FakePlatform::OpenHandle* FakePlatform::Find(DeviceHandle device) {
  const auto found = handles.find(device.value);
  return found == handles.end() ? nullptr : &found->second;
}

}  // namespace corvane::testing
