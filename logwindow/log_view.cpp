// The log view: the text the window shows, its steps and its commands, over a control per platform.
#include "logwindow/log_view.h"

#include "logwindow/log_control_common.h"
#include "logwindow/log_file.h"
#include "logwindow/log_pacing.h"
#include "logwindow/log_view_rule.h"
#include "logwindow/window_calls.h"
#include "logwindow/window_numbers.h"

#include <richedit.h>

#include <algorithm>

namespace {

constexpr wchar_t kRichEditLibrary[] = L"Msftedit.dll";

uint64_t ElapsedMs(const LARGE_INTEGER& since)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<uint64_t>((now.QuadPart - since.QuadPart) * 1000 / frequency.QuadPart);
}

}  // namespace

CLogView::CLogView(LogControlKind kind)
    : control(MakeLogControl(kind)),
      handOff(new CLogHandOff()),
      parent(nullptr),
      richEditModule(nullptr),
      autoscroll(true),
      taken(new CLogWaitingText()),
      nextStepAt(0),
      timerRuns(false)
{
}

CLogView::~CLogView()
{
    delete control;
    control = nullptr;
    delete taken;
    taken = nullptr;
    delete handOff;
    handOff = nullptr;
    if (richEditModule != nullptr) {
        FreeLibrary(richEditModule);
        richEditModule = nullptr;
    }
}

bool CLogView::Create(HWND owner, HINSTANCE instance)
{
    parent = owner;
    if (richEditModule == nullptr) {
        richEditModule = LoadLibraryW(kRichEditLibrary);
    }
    if (!control->Create(parent, instance)) {
        return false;
    }
    handOff->Open(parent);
    return true;
}

void CLogView::Destroy()
{
    handOff->Close();
    if (parent != nullptr) {
        KillTimer(parent, IDT_LOG_STEP);
        timerRuns = false;
    }
    control->Destroy();
}

HWND CLogView::Control() const
{
    return control->Handle();
}

void CLogView::SetFont(HFONT font)
{
    control->SetFont(font, text);
}

void CLogView::Place(int x, int y, int width, int height)
{
    MoveWindow(control->Handle(), x, y, width, height, TRUE);
}

void CLogView::Clear()
{
    // What arrived before the press goes too, shown or not.
    handOff->Drop();
    text.Clear();
    control->Clear();
}

void CLogView::Select(size_t start, size_t end)
{
    CHARRANGE range = {static_cast<LONG>(start), static_cast<LONG>(end)};
    SendMessageW(control->Handle(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    SendMessageW(control->Handle(), EM_SCROLLCARET, 0, 0);
}

void CLogView::Copy()
{
    SendMessageW(control->Handle(), WM_COPY, 0, 0);
}

void CLogView::SelectAll()
{
    SendMessageW(control->Handle(), EM_SETSEL, 0, -1);
}

bool CLogView::SaveTo(const wchar_t* path) const
{
    return SaveLogFile(control->Handle(), parent, path);
}

void CLogView::ShowNow(const wchar_t* added, size_t units)
{
    handOff->Add(added, units);
    if (handOff->Take(*taken)) {
        Step();
    }
}

void CLogView::OnStepTimer()
{
    KillTimer(parent, IDT_LOG_STEP);
    timerRuns = false;
    StepWhenDue();
}

void CLogView::StartStepTimer(uint64_t delayMs)
{
    const auto ms = static_cast<UINT>(std::max<uint64_t>(delayMs, USER_TIMER_MINIMUM));
    // A timer refused leaves the next look to the window thread's idle turns.
    timerRuns = StartLookAgainTimer(parent, IDT_LOG_STEP, ms);
}

// A selection drag, or a drag of the scroll bar's thumb, holds the mouse:
// a step now would move the selection under the pointer, or the text under
// the thumb. The control's watch wakes the view when it lets go.
bool CLogView::ReaderHolds() const
{
    const HWND shown = control->Handle();
    return shown != nullptr && GetCapture() == shown;
}

// One look at what waits: shown now, or once the pause after the last step
// is over, or once the reader lets go of the mouse.
void CLogView::StepWhenDue()
{
    if (control->Handle() == nullptr || ReaderHolds()) {
        return;
    }
    const ULONGLONG now = GetTickCount64();
    if (now < nextStepAt) {
        if (!timerRuns) {
            StartStepTimer(nextStepAt - now);
        }
        return;
    }
    if (handOff->Take(*taken)) {
        Step();
    }
}

// One step: everything that waits, shown in one go, then a pause in
// proportion to what the step cost before the next one.
void CLogView::Step()
{
    LARGE_INTEGER started;
    QueryPerformanceCounter(&started);
    const bool flood = taken->Units() > kLogKeepAfterTrim;
    Show(LogStepRemoves(text, taken->Held()));
    taken->Clear();
    handOff->StepDone();
    const uint64_t pause = LogStepPauseMs(ElapsedMs(started), flood);
    nextStepAt = GetTickCount64() + pause;
    // Looks again then for text that came meanwhile.
    StartStepTimer(pause);
}

// Shows the taken text after `removed` characters went from the front of
// the view and then of the taken text; a step costs the control one
// insertion and at most one trim, however much text waits. Afterwards the
// control's count is checked against the copy: a control that holds other
// text is given the copy afresh, and should it still differ, the copy
// follows what the control can show.
void CLogView::Show(size_t removed)
{
    const size_t before = text.Units();
    size_t deleted = std::min(removed, before);
    const wchar_t* added = taken->Text() + (removed - deleted);
    size_t units = taken->Units() - (removed - deleted);
    // What the view will hold is known before the control is touched. When
    // there is no memory for all of it, the oldest text makes room.
    if (!text.Reserve(before - deleted + units)) {
        const size_t room = text.Room();
        if (units > room) {
            added += units - room;
            units = room;
        }
        deleted = std::max(deleted, before - std::min(before, room - units));
    }
    control->Show(text, deleted, added, units, autoscroll);
    text.RemoveFront(deleted);
    text.Append(added, units);
    if (ControlUnits(control->Handle()) != text.Units()) {
        control->Refill(text, autoscroll);
        if (ControlUnits(control->Handle()) != text.Units()) {
            ReadControlText(control->Handle(), text);
        }
    }
}
