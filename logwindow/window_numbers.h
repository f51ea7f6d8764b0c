// The log window's numbers: its messages, control and menu ids, and timers, in one place.
#pragma once

#include <windows.h>

// Any thread may add text with this message, sent with SendMessageW: WPARAM
// is a malloc'ed, zero-terminated UTF-16 text (or null) that the window
// frees; LPARAM is not read. The text is shown when the call returns.
inline constexpr UINT WM_LOG_APPEND = WM_USER + 1;
static_assert(WM_LOG_APPEND == 1025, "the append message is part of our contract");

// Posted to the main window, never sent, when text waits for the view:
// posted messages reach a window in modal loops too (a dialog, a message
// box, moving or sizing the window), so texts keep appearing meanwhile.
inline constexpr UINT WM_LOG_WAKE = WM_APP + 1;

// Control ids of the children of the main window.
inline constexpr int IDC_LOG = 0;
inline constexpr int IDC_CLEAR = 1;
inline constexpr int IDC_SAVE = 2;
inline constexpr int IDC_AUTOSCROLL = 3;
static_assert(IDC_LOG == 0 && IDC_CLEAR == 1 && IDC_SAVE == 2 && IDC_AUTOSCROLL == 3,
              "control ids are part of our contract");

// Commands of the window's keys and of the view's menu, clear of the
// control ids.
inline constexpr int IDM_FIND = 0x100;
inline constexpr int IDM_FIND_NEXT = 0x101;
inline constexpr int IDM_FIND_PREVIOUS = 0x102;
inline constexpr int IDM_COPY = 0x110;
inline constexpr int IDM_SELECT_ALL = 0x111;

// The main window's timer that starts the view's next step once the pause
// after the last one is over.
inline constexpr UINT_PTR IDT_LOG_STEP = 1;
