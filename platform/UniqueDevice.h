#pragma once

#include <utility>

#include "platform/Platform.h"

namespace corvane::platform {

// Owns one open device and closes it when it goes out of scope, so that a
// handle is released on every path out of an operation.
class UniqueDevice {
 public:
  UniqueDevice(Platform& platform, DeviceHandle handle) : platform(&platform), handle(handle) {}
  UniqueDevice(const UniqueDevice&) = delete;
  UniqueDevice& operator=(const UniqueDevice&) = delete;
  UniqueDevice(UniqueDevice&& other) noexcept
      : platform(other.platform), handle(std::exchange(other.handle, kInvalidDevice)) {}
  UniqueDevice& operator=(UniqueDevice&& other) noexcept {
    if (this != &other) {
      Close();
      platform = other.platform;
      handle = std::exchange(other.handle, kInvalidDevice);
    }
    return *this;
  }
  ~UniqueDevice() { Close(); }

  [[nodiscard]] bool IsValid() const { return handle != kInvalidDevice; }
  [[nodiscard]] DeviceHandle Get() const { return handle; }

 private:
  void Close() {
    if (IsValid()) {
      platform->CloseDevice(std::exchange(handle, kInvalidDevice));
    }
  }

  Platform* platform;
  DeviceHandle handle;
};

}  // namespace corvane::platform
