#pragma once

namespace corvane::app {

// The program's run: from start through the backdrop and the main dialog to
// the end, which is always an exit code of 0.
class RescueApp {
 public:
  int Run();

 private:
  // Shows the backdrop, which runs everything else; false: no message loop
  // of the program's own follows.
  bool InitInstance();
};

}  // namespace corvane::app
