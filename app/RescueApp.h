#pragma once

namespace corvane::app {

// The program's run: from start through the backdrop and the main dialog to
// the end. The exit code is 0, or 1 when the program refused to start or
// its command line, or when "/image PATH" saved no image.
class RescueApp {
 public:
  int Run();

 private:
  // Shows the backdrop, which runs everything else; false: no message loop
  // of the program's own follows.
  bool InitInstance();

  int exitCode = 0;
};

}  // namespace corvane::app
