// The name by which screen readers announce a control, given through the accessibility API.
#include "logwindow/accessible_name.h"

#include <ole2.h>
#include <oleacc.h>

namespace {

// Not every SDK's import libraries define these; the values are oleacc.h's.
constexpr CLSID kAccPropServicesClass = {0xB5F8350B, 0x0548, 0x48B1,
                                         {0xA6, 0xEE, 0x88, 0xBD, 0x00, 0xB4, 0xA5, 0xE7}};
constexpr IID kAccPropServicesId = {0x6E26E776, 0x04F0, 0x495D,
                                    {0x80, 0xE4, 0x33, 0x30, 0x35, 0x2E, 0x31, 0x69}};
constexpr MSAAPROPID kNameProperty = {0x608D3DF8, 0x8128, 0x4AA7,
                                      {0xA4, 0x28, 0xF5, 0x5E, 0x49, 0x26, 0x72, 0x91}};
constexpr DWORD kClientArea = static_cast<DWORD>(OBJID_CLIENT);

// The system's annotation service for one call, with COM set up for it on
// this thread. A thread already in another apartment keeps it, and can still
// make the object. Where the system has no such service, there is none.
class CAnnotations {
public:
    CAnnotations() : joined(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
    {
        if (FAILED(CoCreateInstance(kAccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER,
                                    kAccPropServicesId, reinterpret_cast<void**>(&services)))) {
            services = nullptr;
        }
    }
    ~CAnnotations()
    {
        if (services != nullptr) {
            services->Release();
        }
        if (joined) {
            CoUninitialize();
        }
    }
    CAnnotations(const CAnnotations&) = delete;
    CAnnotations& operator=(const CAnnotations&) = delete;

    IAccPropServices* Services() const { return services; }

private:
    bool joined;
    IAccPropServices* services = nullptr;
};

}  // namespace

bool SetAccessibleName(HWND control, const wchar_t* name)
{
    const CAnnotations annotations;
    return annotations.Services() != nullptr &&
           SUCCEEDED(annotations.Services()->SetHwndPropStr(control, kClientArea, CHILDID_SELF,
                                                            kNameProperty, name));
}

void ClearAccessibleName(HWND control)
{
    const CAnnotations annotations;
    if (annotations.Services() != nullptr) {
        // Nothing to do about a failure: the window goes either way.
        annotations.Services()->ClearHwndProps(control, kClientArea, CHILDID_SELF, &kNameProperty,
                                               1);
    }
}
