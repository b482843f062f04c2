#pragma once

#include <windows.h>

namespace corvane::ui {

// The Win32 calls through which the program restricts and makes its own DLL
// loads, gathered so that a test can record them; the program only ever uses
// Win32DllCalls(). The first two are nullptr where this Windows lacks them:
// SetDllDirectoryA came with XP SP1, SetDefaultDllDirectories with Windows 8
// (and an update for Vista and 7).
struct DllCalls {
  BOOL(WINAPI* setDllDirectory)(LPCSTR);
  BOOL(WINAPI* setDefaultDllDirectories)(DWORD);
  UINT(WINAPI* getSystemDirectory)(LPSTR, UINT);
  HMODULE(WINAPI* loadLibraryEx)(LPCSTR, HANDLE, DWORD);
  FARPROC(WINAPI* getProcAddress)(HMODULE, LPCSTR);
  BOOL(WINAPI* freeLibrary)(HMODULE);
};

// Windows' own calls; the two optional ones are looked up in kernel32 at run
// time, so the program still starts on Windows 2000, which has neither.
const DllCalls& Win32DllCalls();

// Keeps the folders that a planted DLL could come from out of later loads by
// name, Windows' own among them: where SetDefaultDllDirectories exists the
// process searches the system folder alone; SetDllDirectoryA("") takes the
// current folder out of the search. The first thing the program does; what
// it loads itself comes by full path (SystemLibrary).
void RestrictDllSearch(const DllCalls& calls = Win32DllCalls());

// One DLL of Windows' system folder, loaded by its full path
// (GetSystemDirectory + "\" + name) and never found through the search
// order, which starts in the program's own folder; the DLLs it imports are
// looked for in the system folder first. Released when the object ends.
// Its functions are taken by name, typed by the declaration in the SDK's
// header:
//   SystemLibrary comdlg32("comdlg32.dll");
//   auto* getSaveFileName = comdlg32.Function<decltype(GetSaveFileNameA)>("GetSaveFileNameA");
// A library that could not be loaded, or lacks the function, gives nullptr.
class SystemLibrary {
 public:
  explicit SystemLibrary(const char* name, const DllCalls& calls = Win32DllCalls());
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;
  SystemLibrary(SystemLibrary&&) = delete;
  SystemLibrary& operator=(SystemLibrary&&) = delete;
  ~SystemLibrary();

  template <typename Signature>
  [[nodiscard]] Signature* Function(const char* name) const {
    return reinterpret_cast<Signature*>(Address(name));
  }

 private:
  // Any function's address: void (*)() converts to every function pointer
  // type without a cast-function-type warning.
  using AnyFunction = void (*)();
  [[nodiscard]] AnyFunction Address(const char* name) const;

  const DllCalls& calls;
  HMODULE module;
};

}  // namespace corvane::ui
