// A stand-in for a DLL that someone dropped into the folder Corvane was
// started from, under the name of a system DLL. It does nothing but leave a
// marker file beside itself (its own path and ".ran") when a process loads
// it, which is when such a DLL's code would run with the program's rights.
// The end-to-end suite copies it under each name it tests. Built without a
// runtime, so this is its entry point, under the name the linker expects.
#include <windows.h>

#include <array>

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason != DLL_PROCESS_ATTACH) {
    return TRUE;
  }
  std::array<char, MAX_PATH + 8> marker{};
  const DWORD length = GetModuleFileNameA(instance, marker.data(), MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return TRUE;
  }
  // Appended by hand: the buffer has room, and no runtime is linked in.
  constexpr std::array<char, 4> kSuffix = {'.', 'r', 'a', 'n'};
  for (std::size_t i = 0; i < kSuffix.size(); ++i) {
    marker[length + i] = kSuffix[i];
  }
  HANDLE file = CreateFileA(marker.data(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
  }
  return TRUE;
}
