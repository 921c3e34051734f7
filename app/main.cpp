// Entry point of the Windows program.
#include <windows.h>

#include "app/application.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return kestrel::app::run_application(instance);
}
