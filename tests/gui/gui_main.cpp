// Entry point of the GUI test driver.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "app/application.h"

int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_LINK_CLASS;
  InitCommonControlsEx(&controls);
  kestrel::app::set_app_instance(GetModuleHandleW(nullptr));
  return RUN_ALL_TESTS();
}
