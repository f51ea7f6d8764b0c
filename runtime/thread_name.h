// Names the calling thread, for debuggers and per-thread CPU figures.
#pragma once

// Gives the calling thread `name` (at most 15 characters, so that Wine's
// Linux thread name holds all of it). Does nothing on Windows before 10
// (version 1607), which cannot name threads.
void NameCurrentThread(const wchar_t* name);
