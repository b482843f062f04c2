#include "ui/SystemLibrary.h"

#include <string>

namespace corvane::ui {
namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32, which the headers for Windows 2000 lack.
constexpr DWORD kSearchSystem32 = 0x00000800;

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCSTR);

// A function of kernel32.dll, which every process has loaded, or nullptr
// where this Windows lacks it.
FARPROC Kernel32Function(const char* name) {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  return kernel32 == nullptr ? nullptr : GetProcAddress(kernel32, name);
}

template <typename Pointer>
Pointer Kernel32Function(const char* name) {
  return reinterpret_cast<Pointer>(reinterpret_cast<void (*)()>(Kernel32Function(name)));
}

// Where LoadLibraryEx understands the LOAD_LIBRARY_SEARCH_ flags: the same
// Windows and updates that have SetDefaultDllDirectories.
bool SearchFlagsUnderstood() { return Kernel32Function("SetDefaultDllDirectories") != nullptr; }

// The system folder's path of a DLL, or "" when Windows does not tell it.
std::string SystemPath(const char* name) {
  const UINT size = GetSystemDirectoryA(nullptr, 0);
  if (size == 0) {
    return {};
  }
  std::string path(size, '\0');
  const UINT length = GetSystemDirectoryA(path.data(), size);
  if (length == 0 || length >= size) {
    return {};
  }
  path.resize(length);
  if (path.back() != '\\') {
    path += '\\';
  }
  return path + name;
}

HMODULE LoadFromSystemFolder(const char* name) {
  const std::string path = SystemPath(name);
  if (path.empty()) {
    return nullptr;
  }
  // The DLL's own imports: from the system folder alone where Windows can
  // say so; elsewhere the search starts in the DLL's folder, the system
  // folder, instead of the program's.
  return LoadLibraryExA(path.c_str(), nullptr,
                        SearchFlagsUnderstood() ? kSearchSystem32 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

void RestrictDllSearch() {
  // Both where both exist: the folder list covers loads by name with the
  // default search, the empty DLL directory also those that ask for the
  // classic order.
  const auto setDllDirectory = Kernel32Function<SetDllDirectoryFunction>("SetDllDirectoryA");
  if (setDllDirectory != nullptr) {
    setDllDirectory("");
  }
  const auto setDefaultDllDirectories =
      Kernel32Function<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
  if (setDefaultDllDirectories != nullptr) {
    setDefaultDllDirectories(kSearchSystem32);
  }
}

SystemLibrary::SystemLibrary(const char* name) : module(LoadFromSystemFolder(name)) {}

SystemLibrary::~SystemLibrary() {
  if (module != nullptr) {
    FreeLibrary(module);
  }
}

SystemLibrary::AnyFunction SystemLibrary::Address(const char* name) const {
  if (module == nullptr) {
    return nullptr;
  }
  return reinterpret_cast<AnyFunction>(GetProcAddress(module, name));
}

}  // namespace corvane::ui
