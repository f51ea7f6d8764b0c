// The control that shows the log view's text: one interface, a control per platform, and the one place that picks.
#include "logwindow/log_control.h"

#include "logwindow/windows_log_control.h"
#include "logwindow/wine/wine_log_control.h"
#include "runtime/wine_detection.h"

#include <atomic>

namespace {

// -1 until a test chooses.
std::atomic<int> gChosenKind{-1};

}  // namespace

LogControlKind DefaultLogControlKind()
{
    const int chosen = gChosenKind.load();
    if (chosen >= 0) {
        return static_cast<LogControlKind>(chosen);
    }
    return RunsOnWine() ? LogControlKind::Wine : LogControlKind::Windows;
}

void ChooseLogControlKind(LogControlKind kind)
{
    gChosenKind = static_cast<int>(kind);
}

CLogControl* MakeLogControl(LogControlKind kind)
{
    if (kind == LogControlKind::Wine) {
        return new CWineLogControl();
    }
    return new CWindowsLogControl();
}
