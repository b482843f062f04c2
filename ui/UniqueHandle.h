#pragma once

#include <windows.h>

namespace corvane::ui {

// Owns a Win32 handle and releases it with Release when replaced or destroyed.
template <typename Handle, BOOL(WINAPI* Release)(Handle)>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&&) = delete;
  UniqueHandle& operator=(UniqueHandle&&) = delete;
  ~UniqueHandle() { Reset(nullptr); }

  void Reset(Handle replacement) {
    if (handle != nullptr) {
      Release(handle);
    }
    handle = replacement;
  }
  [[nodiscard]] Handle Get() const { return handle; }

 private:
  Handle handle = nullptr;
};

}  // namespace corvane::ui
