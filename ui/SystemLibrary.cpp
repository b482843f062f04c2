#include "ui/SystemLibrary.h"

#include <string>

namespace corvane::ui {
namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32, which the headers for Windows 2000 lack.
constexpr DWORD kSearchSystem32 = 0x00000800;

// A function of kernel32.dll, which every process has loaded, or nullptr
// where this Windows lacks it.
template <typename Pointer>
Pointer Kernel32Function(const char* name) {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  return kernel32 == nullptr ? nullptr
                             : reinterpret_cast<Pointer>(
                                   reinterpret_cast<void (*)()>(GetProcAddress(kernel32, name)));
}

// The system folder's path of a DLL, or "" when Windows does not tell it.
std::string SystemPath(const DllCalls& calls, const char* name) {
  const UINT size = calls.getSystemDirectory(nullptr, 0);
  if (size == 0) {
    return {};
  }
  std::string path(size, '\0');
  const UINT length = calls.getSystemDirectory(path.data(), size);
  if (length == 0 || length >= size) {
    return {};
  }
  path.resize(length);
  if (path.back() != '\\') {
    path += '\\';
  }
  return path + name;
}

HMODULE LoadFromSystemFolder(const DllCalls& calls, const char* name) {
  const std::string path = SystemPath(calls, name);
  if (path.empty()) {
    return nullptr;
  }
  // The DLL's own imports: from the system folder alone where Windows can
  // say so (LoadLibraryEx understands the LOAD_LIBRARY_SEARCH_ flags on the
  // same Windows and updates that have SetDefaultDllDirectories); elsewhere
  // the search starts in the DLL's folder, the system folder, instead of the
  // program's.
  const bool searchFlagsUnderstood = calls.setDefaultDllDirectories != nullptr;
  return calls.loadLibraryEx(
      path.c_str(), nullptr,
      searchFlagsUnderstood ? kSearchSystem32 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

const DllCalls& Win32DllCalls() {
  static const DllCalls calls{
      Kernel32Function<decltype(DllCalls::setDllDirectory)>("SetDllDirectoryA"),
      Kernel32Function<decltype(DllCalls::setDefaultDllDirectories)>("SetDefaultDllDirectories"),
      GetSystemDirectoryA,
      LoadLibraryExA,
      GetProcAddress,
      FreeLibrary};
  return calls;
}

void RestrictDllSearch(const DllCalls& calls) {
  // Both where both exist: the folder list covers loads by name with the
  // default search, the empty DLL directory also those that ask for the
  // classic order.
  if (calls.setDllDirectory != nullptr) {
    calls.setDllDirectory("");
  }
  if (calls.setDefaultDllDirectories != nullptr) {
    calls.setDefaultDllDirectories(kSearchSystem32);
  }
}

SystemLibrary::SystemLibrary(const char* name, const DllCalls& calls)
    : calls(calls), module(LoadFromSystemFolder(calls, name)) {}

SystemLibrary::~SystemLibrary() {
  if (module != nullptr) {
    calls.freeLibrary(module);
  }
}

SystemLibrary::AnyFunction SystemLibrary::Address(const char* name) const {
  if (module == nullptr) {
    return nullptr;
  }
  return reinterpret_cast<AnyFunction>(calls.getProcAddress(module, name));
}

}  // namespace corvane::ui
