// The hand-off of text from any thread to the log view: the only part of the view that two threads touch.
#include "logwindow/log_hand_off.h"

#include "logwindow/window_calls.h"
#include "runtime/scoped_lock.h"

#include <cwchar>

namespace {

constexpr wchar_t kLostTextFormat[] =
    L"\r\nNot enough memory: %zu characters received could not be shown.\r\n";
// Room for the note with the largest count.
constexpr size_t kLostNoteUnits = 128;

}  // namespace

CLogHandOff::CLogHandOff()
    : lock(new CKestrumCriticalSection()),
      waiting(new CLogWaitingText()),
      lostUnits(0),
      wakePosted(false),
      stepping(false),
      wakeTarget(nullptr),
      closed(false)
{
}

CLogHandOff::~CLogHandOff()
{
    delete waiting;
    waiting = nullptr;
    delete lock;
    lock = nullptr;
}

void CLogHandOff::Open(HWND target)
{
    CScopedLock guard(lock);
    wakeTarget = target;
}

void CLogHandOff::Close()
{
    CScopedLock guard(lock);
    wakeTarget = nullptr;
    closed = true;
    waiting->Clear();
}

// Under the lock. Text that could not be kept for want of memory is told in
// the view, where it would have been, once memory allows.
void CLogHandOff::AddLocked(const wchar_t* text, size_t units)
{
    if (lostUnits > 0) {
        wchar_t note[kLostNoteUnits];
        const int length = swprintf(note, kLostNoteUnits, kLostTextFormat, lostUnits);
        if (length > 0 && waiting->Add(note, static_cast<size_t>(length))) {
            lostUnits = 0;
        }
    }
    if (!waiting->Add(text, units)) {
        lostUnits += units;
    }
}

void CLogHandOff::HandOver(const wchar_t* text, size_t units)
{
    if (text == nullptr || units == 0) {
        return;
    }
    HWND target = nullptr;
    {
        // Every sender adds under the lock, so texts keep the order in which
        // they were handed over, whichever thread they come from.
        CScopedLock guard(lock);
        if (closed) {
            return;  // nothing is shown any more
        }
        AddLocked(text, units);
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

void CLogHandOff::Add(const wchar_t* text, size_t units)
{
    if (text == nullptr || units == 0) {
        return;
    }
    CScopedLock guard(lock);
    AddLocked(text, units);
}

bool CLogHandOff::Take(CLogWaitingText& into)
{
    CScopedLock guard(lock);
    // Taken without a copy; senders go on adding to an empty one.
    waiting->SwapWith(into);
    wakePosted = false;
    stepping = into.Units() > 0;
    return stepping;
}

void CLogHandOff::StepDone()
{
    CScopedLock guard(lock);
    stepping = false;
}

void CLogHandOff::Drop()
{
    CScopedLock guard(lock);
    waiting->Clear();
}

bool CLogHandOff::Settled()
{
    CScopedLock guard(lock);
    return waiting->Units() == 0 && !wakePosted && !stepping;
}

void CLogHandOff::Drain(CLogText& into)
{
    CScopedLock guard(lock);
    into.Clear();
    into.Append(waiting->Text(), waiting->Units());
    waiting->Clear();
}
