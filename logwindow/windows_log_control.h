// The log view's control as Windows runs it: one control for the window's life, text streamed in at its end, trimmed in place.
#pragma once

#include "logwindow/log_control.h"

class CWindowsLogControl : public CLogControl {
public:
    CWindowsLogControl() = default;
    ~CWindowsLogControl() override;
    CWindowsLogControl(const CWindowsLogControl&) = delete;
    CWindowsLogControl& operator=(const CWindowsLogControl&) = delete;

    bool Create(HWND parent, HINSTANCE instance) override;
    void Destroy() override;
    HWND Handle() const override { return control; }
    void SetFont(HFONT font, const CLogText& shown) override;
    void Show(const CLogText& shown, size_t removed, const wchar_t* added, size_t units,
              bool followEnd) override;
    void Refill(const CLogText& shown, bool followEnd) override;
    void Clear() override;

private:
    HWND control = nullptr;
    // The window's font; the window keeps it.
    HFONT font = nullptr;
};
