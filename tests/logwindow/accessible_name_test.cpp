#include "logwindow/accessible_name.h"

#include "tests/logwindow/log_window_fixture.h"
#include "tests/support/window_driver.h"

#include <gtest/gtest.h>

#include <ole2.h>
// Defines oleacc.h's GUIDs here: not every SDK's libraries have them.
#include <initguid.h>
#include <oleacc.h>

#include <string>

namespace {

constexpr DWORD kClientArea = static_cast<DWORD>(OBJID_CLIENT);

// What a screen reader reads as the name of `window`.
std::wstring AccessibleName(HWND window)
{
    IAccessible* accessible = nullptr;
    if (FAILED(AccessibleObjectFromWindow(window, kClientArea, IID_IAccessible,
                                          reinterpret_cast<void**>(&accessible)))) {
        return L"(no accessible object)";
    }
    VARIANT self = {};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    const std::wstring read = accessible->get_accName(self, &name) == S_OK && name != nullptr
                                  ? std::wstring(name)
                                  : L"(no name)";
    SysFreeString(name);
    accessible->Release();
    return read;
}

// Whether this system announces names given through IAccPropServices at
// all, tried on a window of the test's own with the system's calls alone.
bool SystemTakesAccessibleNames()
{
    const HWND probe = CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP, 0, 0, 1, 1, nullptr,
                                       nullptr, nullptr, nullptr);
    IAccPropServices* services = nullptr;
    bool takes = false;
    if (SUCCEEDED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IAccPropServices, reinterpret_cast<void**>(&services)))) {
        takes = SUCCEEDED(services->SetHwndPropStr(probe, kClientArea, CHILDID_SELF,
                                                   PROPID_ACC_NAME, L"probe")) &&
                AccessibleName(probe) == L"probe";
        services->ClearHwndProps(probe, kClientArea, CHILDID_SELF, &PROPID_ACC_NAME, 1);
        services->Release();
    }
    DestroyWindow(probe);
    return takes;
}

class AccessibleNameTest : public testsupport::LogWindowTest {
protected:
    // Wine's control is made anew at Clear, and the new one must be named too.
    AccessibleNameTest() { chosenKind = LogControlKind::Wine; }
    ~AccessibleNameTest() override
    {
        if (SUCCEEDED(com)) {
            CoUninitialize();
        }
    }
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
};

TEST_F(AccessibleNameTest, ViewIsAnnouncedAsLogAndButtonsByTheirCaptions)
{
    EXPECT_EQ(AccessibleName(clearButton), L"Clear");
    EXPECT_EQ(AccessibleName(saveButton), L"Save");
    EXPECT_EQ(AccessibleName(autoscrollButton), L"Autoscroll Off");
    if (!SystemTakesAccessibleNames()) {
        GTEST_SKIP() << "this system announces no names given through IAccPropServices "
                        "(Wine 8 answers E_NOTIMPL): the view's name is not checked";
    }
    const HWND first = View();
    EXPECT_EQ(AccessibleName(first), L"Log");
    ASSERT_TRUE(testsupport::Click(clearButton));
    ASSERT_NE(View(), first);
    EXPECT_EQ(AccessibleName(View()), L"Log");
}

}  // namespace
