// Works this program's own windows with real input (SendInput), as a person does.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>

namespace testsupport {

enum class MouseButton { Left, Right };

// Moves the pointer onto this pixel of the primary screen; false unless it lands there.
bool MoveMouseTo(POINT screen);
// Presses or releases a button with the pointer on `screen`.
bool PressMouseButton(POINT screen, MouseButton button = MouseButton::Left);
bool ReleaseMouseButton(POINT screen, MouseButton button = MouseButton::Left);
bool ClickAt(POINT screen, MouseButton button = MouseButton::Left);
// Presses the left button at `from`, moves to `to` in `steps` equal steps
// spread over `durationMs` with the button held, and releases it there;
// `onStep`, when given, runs after each step. True once the window under
// `from` took the capture and gave it back.
bool DragLeft(POINT from, POINT to, DWORD durationMs, int steps,
              const std::function<void()>& onStep = {});

// Presses the keys in order and releases them in reverse: {VK_CONTROL, 'C'}.
bool PressKeys(std::initializer_list<WORD> keys);
// Types each UTF-16 unit of `text` as a character, whatever the keyboard layout.
bool TypeText(const std::wstring& text);

// The focus and capture of `window`'s thread, as its input has left them.
// SendInput returns before that thread reads the input, and a message sent
// to it afterwards can be handled first: wait for effects like these.
HWND FocusOf(HWND window);
HWND CaptureOf(HWND window);

bool ClearClipboard();
// The clipboard's text once it holds some, or nothing after `timeoutMs`.
std::optional<std::wstring> WaitForClipboardText(DWORD timeoutMs);

// Where `character` of a rich edit control starts (its top-left pixel) on
// the screen; nothing while it is scrolled out of the control.
std::optional<POINT> CharacterOnScreen(HWND richEdit, LONG character);

}  // namespace testsupport
