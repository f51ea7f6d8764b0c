// The log view: the control that shows the log text, and everything about it.
#include "logwindow/log_view.h"

#include "logwindow/accessible_name.h"
#include "logwindow/log_file.h"
#include "logwindow/log_view_plan.h"
#include "logwindow/window_calls.h"
#include "runtime/scoped_lock.h"
#include "runtime/wine_detection.h"

#include <richedit.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kLogViewClass[] = L"RICHEDIT50W";
constexpr DWORD kLogViewStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_READONLY | ES_MULTILINE;
static_assert(kLogViewStyle == 0x50210804, "log view style changed");
// A rich edit control silently drops text past 32,767 characters unless told
// otherwise; leave ample room above the trim threshold plus one step.
constexpr LPARAM kLogViewTextLimit = 1 << 20;
static_assert(kLogViewTextLimit > 4 * kLogTrimAbove, "the text limit must stay clear of trimming");
// Nothing the view shows can be undone, so it keeps no copies for undoing.
constexpr WPARAM kNoUndo = 0;
constexpr UINT kUtf16CodePage = 1200;

// The parent's timer that starts the next step once its pause is over.
constexpr UINT_PTR kStepTimer = 1;
// After a step the window waits four times as long as the step took
// (painting included) before the next one, so that while text keeps coming
// it works a fifth of the time, however dear the control's layout...
constexpr ULONGLONG kPausePerStepTime = 4;
// ...but a step and the pause after it take no more than this together, so
// that new text shows within about half a second...
constexpr ULONGLONG kStepAndPauseMs = 450;
// ...as long as the window still works no more than a quarter of the time:
// a step that takes longer than about 110 ms pauses three times as long...
constexpr ULONGLONG kLeastPausePerStepTime = 3;
// ...and during a flood, when a step had more text than the view keeps, the
// pause is only as long as the step: longer pauses let the socket's queue
// overflow here, under Wine, although the receiver never waits for the
// window (seen at 20,000 lines a second: 4% to 30% lost, against none).
constexpr ULONGLONG kPausePerFloodStepTime = 1;
// Whatever a step cost, new text waits no longer than this for the next.
constexpr ULONGLONG kLongestPauseMs = 2000;

// Where the view finds itself and the control's own procedure.
constexpr wchar_t kViewProperty[] = L"SyslogLogView";
constexpr wchar_t kProcedureProperty[] = L"SyslogLogViewProcedure";

constexpr wchar_t kLostTextFormat[] =
    L"\r\nNot enough memory: %zu characters received could not be shown.\r\n";

std::atomic<int> gChosenPath{-1};

// Holds off the view's painting for one step and repaints it once after.
// Otherwise each part (trim, insert, scroll) repaints and updates the scroll
// bar on its own.
class CPaintPause {
public:
    explicit CPaintPause(HWND paused) : view(paused) { SendMessageW(view, WM_SETREDRAW, FALSE, 0); }
    ~CPaintPause()
    {
        SendMessageW(view, WM_SETREDRAW, TRUE, 0);
        // The frame too: the scroll bar changed while painting was off, and
        // Wine leaves it unpainted otherwise. Painted now, so that the pause
        // after the step counts what painting cost too.
        RedrawWindow(view, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
    }
    CPaintPause(const CPaintPause&) = delete;
    CPaintPause& operator=(const CPaintPause&) = delete;

private:
    HWND view;
};

// The bytes of one insertion, read by the control through EDITSTREAM.
struct StreamSource {
    const BYTE* data;
    size_t size;
    size_t at;
};

DWORD CALLBACK ReadStream(DWORD_PTR cookie, LPBYTE buffer, LONG room, LONG* read)
{
    auto* source = reinterpret_cast<StreamSource*>(cookie);
    const size_t taken = std::min(source->size - source->at, static_cast<size_t>(room));
    memcpy(buffer, source->data + source->at, taken);
    source->at += taken;
    *read = static_cast<LONG>(taken);
    return 0;
}

// True when the control read every byte without an error.
bool StreamIntoSelection(HWND view, WPARAM format, const void* data, size_t size)
{
    StreamSource source = {static_cast<const BYTE*>(data), size, 0};
    EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&source), 0, &ReadStream};
    SendMessageW(view, EM_STREAMIN, format | SFF_SELECTION, reinterpret_cast<LPARAM>(&stream));
    return stream.dwError == 0 && source.at == size;
}

// How many characters the control holds, a line break as one.
size_t ControlUnits(HWND view)
{
    GETTEXTLENGTHEX how = {GTL_NUMCHARS | GTL_PRECISE, kUtf16CodePage};
    const LRESULT units = SendMessageW(view, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0);
    return units > 0 ? static_cast<size_t>(units) : 0;
}

// The control's text as positions count it: a line break as one '\r'.
bool ReadControlText(HWND view, CLogText& into)
{
    const size_t units = ControlUnits(view);
    into.Clear();
    if (units == 0) {
        return true;
    }
    if (!into.Reserve(units + 1)) {
        return false;
    }
    std::wstring read(units + 1, L'\0');
    GETTEXTEX how = {static_cast<DWORD>(read.size() * sizeof(wchar_t)), GT_DEFAULT, kUtf16CodePage,
                     nullptr, nullptr};
    const LRESULT copied = SendMessageW(view, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&how),
                                        reinterpret_cast<LPARAM>(read.data()));
    return into.AppendWithLineBreaks(read.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

void DeleteFront(HWND view, size_t count)
{
    SendMessageW(view, EM_SETSEL, 0, static_cast<LPARAM>(count));
    // wParam FALSE: the deletion cannot be undone, so no undo copy is kept.
    SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

ULONGLONG ElapsedMs(const LARGE_INTEGER& since)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<ULONGLONG>((now.QuadPart - since.QuadPart) * 1000 / frequency.QuadPart);
}

// An empty view's place: at its end.
constexpr LogReaderPlace kEndOfEmptyView = {0, {0, 0}, false, true};

}  // namespace

LogViewPath DefaultLogViewPath()
{
    const int chosen = gChosenPath.load();
    if (chosen >= 0) {
        return static_cast<LogViewPath>(chosen);
    }
    return RunsOnWine() ? LogViewPath::Wine : LogViewPath::Windows;
}

void ChooseLogViewPath(LogViewPath chosen)
{
    gChosenPath = static_cast<int>(chosen);
}

CLogView::CLogView(LogViewPath chosen)
    : path(chosen),
      parent(nullptr),
      instance(nullptr),
      font(nullptr),
      control(nullptr),
      autoscroll(true),
      rtfFont{},
      nextFont(0),
      nextStepAt(0),
      timerRuns(false),
      handOffLock(new CKestrumCriticalSection()),
      waiting(new CLogWaitingText()),
      lostUnits(0),
      wakePosted(false),
      stepping(false),
      wakeTarget(nullptr),
      closed(false),
      taken(new CLogWaitingText())
{
}

CLogView::~CLogView()
{
    delete taken;
    taken = nullptr;
    delete waiting;
    waiting = nullptr;
    delete handOffLock;
    handOffLock = nullptr;
}

bool CLogView::Create(HWND owner, HINSTANCE module)
{
    parent = owner;
    instance = module;
    control = MakeControl(RECT{}, true);
    if (control == nullptr) {
        return false;
    }
    Subclass(control);
    CScopedLock guard(handOffLock);
    wakeTarget = parent;
    return true;
}

void CLogView::Destroy()
{
    {
        CScopedLock guard(handOffLock);
        wakeTarget = nullptr;
        closed = true;
        waiting->Clear();
    }
    if (parent != nullptr) {
        KillTimer(parent, kStepTimer);
        timerRuns = false;
    }
    if (IsWindow(control)) {
        DestroyWindow(control);
    }
    control = nullptr;
}

// A control with everything it needs before its first text: one format for
// all text on Windows, rich text in parts under Wine; no undo; a limit far
// above the trim threshold; lines wrapped at its own width. Made at `bounds`
// so that its first text is laid out once, at the width it is shown at.
HWND CLogView::MakeControl(const RECT& bounds, bool shown) const
{
    const HWND view = CreateWindowExW(
        0, kLogViewClass, nullptr, shown ? kLogViewStyle : kLogViewStyle & ~WS_VISIBLE,
        bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LOG)), instance, nullptr);
    if (view == nullptr) {
        return nullptr;
    }
    // What screen readers call the view, which has no caption of its own.
    // Every control made gets it: under Wine a trim can make a new one.
    // Where the system takes no such name, the view goes without.
    constexpr wchar_t kAccessibleName[] = L"Log";
    SetAccessibleName(view, kAccessibleName);
    // Only an empty control accepts a change of text mode.
    SendMessageW(view, EM_SETTEXTMODE, path == LogViewPath::Wine ? TM_RICHTEXT : TM_PLAINTEXT, 0);
    SendMessageW(view, EM_SETUNDOLIMIT, kNoUndo, 0);
    SendMessageW(view, EM_EXLIMITTEXT, 0, kLogViewTextLimit);
    SendMessageW(view, EM_SETTARGETDEVICE, 0, 0);
    // The selection stays shown while another window has the focus: the
    // text the Find dialog found, or what the reader selected before
    // pressing a button.
    SendMessageW(view, EM_SETOPTIONS, ECOOP_OR, ECO_NOHIDESEL);
    if (font != nullptr) {
        UseFont(view);
    }
    return view;
}

// No redraw: the control is moved or painted for the first time next.
// Under Wine the control scrolls a line at a time by the height of its
// default format's font, which it takes from a laid out run of that format
// when the font is set, and guesses 24 pixels otherwise; each part of the
// Wine path's text has a format of its own. So a character is laid out in
// the default format, taken away, and the font set again: the view then
// scrolls by its real lines.
void CLogView::UseFont(HWND view) const
{
    SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (path != LogViewPath::Wine || GetWindowTextLengthW(view) != 0) {
        return;
    }
    SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"x"));
    SendMessageW(view, EM_SETSEL, 0, -1);
    SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

// The view in `viewFont`, and its face as the Wine path's rich text names
// it. Under Wine a view with text is made anew in it: setting a font on
// text makes all of it one format, and its parts would join into runs as
// long as the view.
void CLogView::SetFont(HFONT viewFont)
{
    font = viewFont;
    LOGFONTW face = {};
    GetObjectW(font, sizeof face, &face);
    // Our faces are ASCII names; anything else could not be written as one.
    size_t length = 0;
    for (const wchar_t* name = face.lfFaceName;
         *name != L'\0' && length + 1 < sizeof rtfFont.face; ++name) {
        const bool plain = *name >= 0x20 && *name < 0x7F && wcschr(L"\\{};", *name) == nullptr;
        rtfFont.face[length++] = plain ? static_cast<char>(*name) : '_';
    }
    rtfFont.face[length] = '\0';
    rtfFont.charSet = face.lfCharSet;
    if (control == nullptr) {
        return;
    }
    if (path == LogViewPath::Wine && text.Units() > 0) {
        ReplaceControl(ReadReaderPlace(control, text.Units()), 0);
        return;
    }
    UseFont(control);
}

void CLogView::Place(int x, int y, int width, int height)
{
    MoveWindow(control, x, y, width, height, TRUE);
}

void CLogView::Clear()
{
    {
        // What arrived before the press goes too, shown or not.
        CScopedLock guard(handOffLock);
        waiting->Clear();
    }
    text.Clear();
    if (path == LogViewPath::Wine) {
        // A new, empty control: emptying a long paragraph can take seconds.
        ReplaceControl(kEndOfEmptyView, 0);
        return;
    }
    SetWindowTextW(control, nullptr);
}

void CLogView::Select(size_t start, size_t end)
{
    CHARRANGE range = {static_cast<LONG>(start), static_cast<LONG>(end)};
    SendMessageW(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    SendMessageW(control, EM_SCROLLCARET, 0, 0);
}

void CLogView::Subclass(HWND view)
{
    const auto own = reinterpret_cast<LONG_PTR>(&CLogView::ControlProc);
    SetPropW(view, kViewProperty, this);
    SetPropW(view, kProcedureProperty,
             reinterpret_cast<HANDLE>(SetWindowLongPtrW(view, GWLP_WNDPROC, own)));
}

// Watches the control for the end of a drag: while the mouse is captured,
// steps wait, and its release shows what waited at once.
LRESULT CALLBACK CLogView::ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto original = reinterpret_cast<WNDPROC>(GetPropW(hwnd, kProcedureProperty));
    auto* view = static_cast<CLogView*>(GetPropW(hwnd, kViewProperty));
    if (message == WM_GETDLGCODE) {
        // The keys the read-only view needs: arrows and characters. Tab,
        // Enter and Escape go to the window, which moves the focus among its
        // controls. The control is not asked: a rich edit asked by a dialog
        // manager takes Escape to mean "close the parent" (Wine posts the
        // parent WM_CLOSE, which would end the program).
        constexpr LRESULT kViewKeys = DLGC_WANTARROWS | DLGC_WANTCHARS;
        return kViewKeys;
    }
    if (message == WM_NCDESTROY) {
        ClearAccessibleName(hwnd);
        RemovePropW(hwnd, kViewProperty);
        RemovePropW(hwnd, kProcedureProperty);
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        return CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    const LRESULT result = CallWindowProcW(original, hwnd, message, wParam, lParam);
    if (message == WM_CAPTURECHANGED && view != nullptr) {
        // Posted: the control is still inside its own handling of the release.
        PostLogWake(view->parent);
    }
    return result;
}

// A selection drag, or a drag of the scroll bar's thumb, holds the mouse:
// a step now would move the selection under the pointer, or the text under
// the thumb.
bool CLogView::ReaderHolds() const
{
    return control != nullptr && GetCapture() == control;
}

// Under `handOffLock`. Text that could not be kept for want of memory is
// told in the view, where it would have been, once memory allows.
void CLogView::AddWaiting(const wchar_t* added, size_t units)
{
    if (lostUnits > 0) {
        wchar_t note[128];
        const int length = swprintf(note, sizeof note / sizeof note[0], kLostTextFormat, lostUnits);
        if (length > 0 && waiting->Add(note, static_cast<size_t>(length))) {
            lostUnits = 0;
        }
    }
    if (!waiting->Add(added, units)) {
        lostUnits += units;
    }
}

void CLogView::HandOver(const wchar_t* added, size_t units)
{
    if (added == nullptr || units == 0) {
        return;
    }
    HWND target = nullptr;
    {
        // Every sender adds under the lock, so texts keep the order in which
        // they were handed over, whichever thread they come from.
        CScopedLock guard(handOffLock);
        if (closed) {
            return;  // nothing is shown any more
        }
        AddWaiting(added, units);
        if (!wakePosted) {
            wakePosted = true;
            target = wakeTarget;
        }
    }
    // Outside the lock: it never waits for the window thread. A post that
    // fails leaves the text to the window thread's next idle turn.
    if (target != nullptr) {
        PostLogWake(target);
    }
}

void CLogView::ShowNow(const wchar_t* added, size_t units)
{
    {
        CScopedLock guard(handOffLock);
        AddWaiting(added, units);
    }
    if (TakeWaiting()) {
        Step();
    }
}

void CLogView::OnTimer(WPARAM id)
{
    if (id != kStepTimer) {
        return;
    }
    KillTimer(parent, kStepTimer);
    timerRuns = false;
    StepWhenDue();
}

void CLogView::StartStepTimer(ULONGLONG delayMs)
{
    const auto ms =
        static_cast<UINT>(std::clamp<ULONGLONG>(delayMs, USER_TIMER_MINIMUM, kLongestPauseMs));
    // A timer refused leaves the next look to the window thread's idle turns.
    timerRuns = StartLookAgainTimer(parent, kStepTimer, ms);
}

// One look at what waits: shown now, or once the pause after the last step
// is over, or once the reader lets go of the mouse.
void CLogView::StepWhenDue()
{
    if (control == nullptr || ReaderHolds()) {
        return;
    }
    const ULONGLONG now = GetTickCount64();
    if (now < nextStepAt) {
        if (!timerRuns) {
            StartStepTimer(nextStepAt - now);
        }
        return;
    }
    if (TakeWaiting()) {
        Step();
    }
}

bool CLogView::TakeWaiting()
{
    CScopedLock guard(handOffLock);
    // Taken without a copy; senders go on adding to an empty one.
    waiting->SwapWith(*taken);
    wakePosted = false;
    stepping = taken->Units() > 0;
    return stepping;
}

void CLogView::DrainWaiting(CLogText& into)
{
    CScopedLock guard(handOffLock);
    into.Clear();
    into.Append(waiting->Text(), waiting->Units());
    waiting->Clear();
}

bool CLogView::Settled()
{
    CScopedLock guard(handOffLock);
    return waiting->Units() == 0 && !wakePosted && !stepping;
}

// One step: everything that waits, shown in one go, then a pause in
// proportion to what the step cost before the next one.
void CLogView::Step()
{
    LARGE_INTEGER started;
    QueryPerformanceCounter(&started);
    const bool flood = taken->Units() > kLogKeepAfterTrim;
    LogViewStep plan = PlanLogViewStep(text, taken->Held());
    if (path == LogViewPath::Wine && plan.removed > 0 && plan.touchesLongParagraph) {
        plan = PlanLogViewStep(text, taken->Held(), kLogWineKeptAfterNewControl);
    }
    Show(plan.removed, plan.touchesLongParagraph);
    taken->Clear();
    {
        CScopedLock guard(handOffLock);
        stepping = false;
    }
    const ULONGLONG took = ElapsedMs(started);
    const ULONGLONG withinBudget = took < kStepAndPauseMs ? kStepAndPauseMs - took : 0;
    const ULONGLONG pause = std::min(
        kLongestPauseMs, flood ? kPausePerFloodStepTime * took
                               : std::max(kLeastPausePerStepTime * took,
                                          std::min(kPausePerStepTime * took, withinBudget)));
    nextStepAt = GetTickCount64() + pause;
    // Looks again then for text that came meanwhile.
    StartStepTimer(pause);
}

// Shows the taken text after `removed` characters went from the front of
// the view and then of the taken text; a step costs one insertion and at most
// one trim, or one new control, however much text waits.
void CLogView::Show(size_t removed, bool touchesLongParagraph)
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
    const LogReaderPlace place = ReadReaderPlace(control, before);
    text.RemoveFront(deleted);
    text.Append(added, units);
    if (path == LogViewPath::Wine && touchesLongParagraph) {
        ReplaceControl(place, deleted);
    } else {
        CPaintPause pause(control);
        if (deleted > 0) {
            DeleteFront(control, deleted);
        }
        Insert(control, added, units);
        RestoreReaderPlace(control, place, deleted, autoscroll);
    }
    if (ControlUnits(control) != text.Units()) {
        SetRight();
    }
}

// Inserts `units` of `added` at the control's own end in one go.
bool CLogView::Insert(HWND view, const wchar_t* added, size_t units)
{
    if (units == 0) {
        return true;
    }
    SendMessageW(view, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    if (path == LogViewPath::Windows) {
        return StreamIntoSelection(view, SF_TEXT | SF_UNICODE, added, units * sizeof(wchar_t));
    }
    size_t size = 0;
    const LogRtfBytes rtf = BuildLogRtf(added, units, rtfFont, &nextFont, &size);
    return rtf != nullptr && StreamIntoSelection(view, SF_RTF, rtf.get(), size);
}

// The control holds other text than the copy (a stream failed, or memory was
// short inside the control): it is given the copy afresh. Should it still
// hold other text, it holds what it can show, and the copy follows it.
void CLogView::SetRight()
{
    const LogReaderPlace place = ReadReaderPlace(control, ControlUnits(control));
    if (path == LogViewPath::Wine) {
        ReplaceControl(place, 0);
    } else {
        CPaintPause pause(control);
        SetWindowTextW(control, nullptr);
        Insert(control, text.Text(), text.Units());
        RestoreReaderPlace(control, place, 0, autoscroll);
    }
    if (ControlUnits(control) != text.Units()) {
        ReadControlText(control, text);
    }
}

// A new control in place of the old one, holding what `text` holds: it keeps
// the old one's id, style, font, zoom, size, place among the controls and
// focus, and the reader's place, moved back by the `removed` characters that
// went from the front. Filled while hidden, so it is never seen half-made;
// the old control is destroyed whole, which costs next to nothing, where
// deleting its text can cost Wine seconds.
void CLogView::ReplaceControl(const LogReaderPlace& place, size_t removed)
{
    RECT bounds = {};
    GetWindowRect(control, &bounds);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&bounds), 2);
    const HWND fresh = MakeControl(bounds, false);
    nextFont = 0;
    if (fresh == nullptr) {
        // Slow, but what the view shows stays right.
        SetWindowTextW(control, nullptr);
        Insert(control, text.Text(), text.Units());
        RestoreReaderPlace(control, place, removed, autoscroll);
        return;
    }
    int numerator = 0;
    int denominator = 0;
    if (SendMessageW(control, EM_GETZOOM, reinterpret_cast<WPARAM>(&numerator),
                     reinterpret_cast<LPARAM>(&denominator)) &&
        numerator > 0 && denominator > 0) {
        SendMessageW(fresh, EM_SETZOOM, static_cast<WPARAM>(numerator), denominator);
    }
    Insert(fresh, text.Text(), text.Units());
    RestoreReaderPlace(fresh, place, removed, autoscroll);
    const bool focused = GetFocus() == control;
    // Just after the old control among its siblings: the same tab order.
    SetWindowPos(fresh, control, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    if (focused) {
        SetFocus(fresh);
    }
    Subclass(fresh);
    DestroyWindow(control);
    control = fresh;
    // Painted within the step, as an edited control is.
    UpdateWindow(control);
}

bool CLogView::SaveTo(const wchar_t* file) const
{
    return SaveLogFile(control, parent, file);
}
