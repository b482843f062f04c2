#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace corvane::testing {

// Drives dialogs from inside their own modal loops: a thread timer runs the
// steps in turn, each one again on every tick until it reports itself done.
// Steps post messages rather than send them, so that no step waits inside a
// modal loop that it opened itself.
class UiScript {
 public:
  using Step = std::function<bool()>;

  explicit UiScript(std::vector<Step> steps) : steps(std::move(steps)) {}

  // Runs modal (a DoModal) with the script going; fails the test for every
  // step left undone, and leaves no quit message behind for the next test.
  INT_PTR Run(const std::function<INT_PTR()>& modal);

 private:
  static void CALLBACK Tick(HWND window, UINT message, UINT_PTR timer, DWORD time);
  void Advance();

  std::vector<Step> steps;
  std::size_t next = 0;
  int ticksOnStep = 0;
  bool busy = false;
  bool abandoned = false;
};

// The visible top-level dialog windows of this thread.
std::vector<HWND> DialogWindows();
HWND FindDialog(const std::string& caption);
// A message box of this thread whose text is text, or nothing.
HWND FindMessageBox(const std::string& text);
std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int id);
void Click(HWND dialog, int id);

}  // namespace corvane::testing
