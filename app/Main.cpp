#include <windows.h>

#include "app/RescueApp.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
  corvane::app::RescueApp app;
  return app.Run();
}
