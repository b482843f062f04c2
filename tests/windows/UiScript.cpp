#include "tests/windows/UiScript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>

namespace corvane::testing {
namespace {

constexpr UINT kTickMs = 20;
constexpr int kTicksPerStep = 500;  // ten seconds
constexpr int kMessageBoxTextId = 0xFFFF;

UiScript* running = nullptr;

std::string ClassName(HWND window) {
  std::array<char, 64> name{};
  GetClassNameA(window, name.data(), static_cast<int>(name.size()));
  return name.data();
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM found) {
  if (IsWindowVisible(window) != FALSE && ClassName(window) == "#32770") {
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);  // NOLINT
  }
  return TRUE;
}

}  // namespace

INT_PTR UiScript::Run(const std::function<INT_PTR()>& modal) {
  running = this;
  const UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, Tick);
  const INT_PTR result = modal();
  KillTimer(nullptr, timer);
  running = nullptr;
  EXPECT_EQ(next, steps.size()) << "steps left undone";
  MSG message{};
  while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE) {
  }
  return result;
}

void CALLBACK UiScript::Tick(HWND /*window*/, UINT /*message*/, UINT_PTR /*timer*/,
                             DWORD /*time*/) {
  if (running != nullptr && !running->busy) {
    running->busy = true;
    running->Advance();
    running->busy = false;
  }
}

void UiScript::Advance() {
  if (abandoned) {
    // Every modal loop ends on a quit message and passes it on outwards.
    PostQuitMessage(1);
    return;
  }
  if (next == steps.size()) {
    if (++ticksOnStep > kTicksPerStep) {
      ADD_FAILURE() << "the dialog did not end after the last step";
      abandoned = true;
    }
    return;
  }
  if (steps[next]()) {
    ++next;
    ticksOnStep = 0;
  } else if (++ticksOnStep > kTicksPerStep) {
    ADD_FAILURE() << "step " << next + 1 << " of " << steps.size() << " never came true";
    abandoned = true;
  }
}

std::vector<HWND> DialogWindows() {
  std::vector<HWND> windows;
  EnumThreadWindows(GetCurrentThreadId(), CollectDialog, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

namespace {

HWND FirstDialogWhere(const std::function<bool(HWND)>& matches) {
  const std::vector<HWND> windows = DialogWindows();
  const auto found = std::ranges::find_if(windows, matches);
  return found == windows.end() ? nullptr : *found;
}

}  // namespace

HWND FindDialog(const std::string& caption) {
  return FirstDialogWhere([&](HWND window) { return WindowText(window) == caption; });
}

HWND FindMessageBox(const std::string& text) {
  return FirstDialogWhere(
      [&](HWND window) { return ControlText(window, kMessageBoxTextId) == text; });
}

std::string WindowText(HWND window) {
  std::array<char, 1024> text{};
  GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  return text.data();
}

std::string ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control != nullptr ? WindowText(control) : std::string();
}

void Click(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace corvane::testing
