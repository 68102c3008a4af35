// The window's accessible object in the panel's own process, where a reader's object is
// the window's itself, not a proxy: once the window is gone it answers nothing.
#include <windows.h>
// oleacc.h needs windows.h before it.
#include <oleacc.h>

#include <gtest/gtest.h>

#include "tests/support/fake_platform.h"
#include "tests/support/test_support.h"
#include "window/win32/main_window.h"

namespace tovanik {

TEST(AccessibleWindow, AnObjectKeptPastTheWindowSaysItIsNotConnected) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  test::TempDir dir;
  FakePlatform platform;
  platform.program_folder_ = dir.path();
  IAccessible* object = nullptr;
  VARIANT child{};
  child.vt = VT_I4;
  child.lVal = 1;
  {
    win32::MainWindow window(platform, GetModuleHandleW(nullptr), L"tovanik-accessible-test");
    ASSERT_TRUE(window.created());
    ASSERT_EQ(AccessibleObjectFromWindow(window.hwnd(), static_cast<DWORD>(OBJID_CLIENT),
                                         __uuidof(IAccessible), reinterpret_cast<void**>(&object)),
              S_OK);
    BSTR name = nullptr;
    EXPECT_EQ(object->get_accName(child, &name), S_OK);
    EXPECT_STREQ(name, L"Server: stopped");
    SysFreeString(name);
  }
  long count = -1;
  EXPECT_EQ(object->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
  BSTR name = nullptr;
  EXPECT_EQ(object->get_accName(child, &name), CO_E_OBJNOTCONNECTED);
  object->Release();
  CoUninitialize();
}

}  // namespace tovanik
