// The process-wide logger: time-stamped lines handed to attached sinks.
#pragma once

#include "devices/log_sink.h"
#include "runtime/kestrum_critical_section.h"

#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <vector>

// Lower is more severe; a sink with threshold LogAll receives every line.
enum LogLevel : int32_t {
    LogEmergency = 0,
    LogAlert = 1,
    LogCritical = 2,
    LogError = 3,
    LogWarning = 4,
    LogNotice = 5,
    LogInfo = 6,
    LogDebug = 7,
    LogAll = 8,
};

// Lets the compiler check Log's arguments against its format where it can.
#if defined(__MINGW_PRINTF_FORMAT)
#define SYSLOG_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(__MINGW_PRINTF_FORMAT, formatIndex, firstArgument)))
#else
#define SYSLOG_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

class CSystemLogger {
public:
    // A longer message is cut to this many characters, less one for the zero.
    static constexpr size_t kMessageCapacity = 2048;

    CSystemLogger();
    ~CSystemLogger();

    CSystemLogger(const CSystemLogger&) = delete;
    CSystemLogger& operator=(const CSystemLogger&) = delete;

    // Sinks are not owned; a sink must stay alive while it is attached.
    void AttachSink(CLogSink* sink);
    void DetachSink(CLogSink* sink);

    // Formats one line and hands it to every sink whose threshold admits `level`.
    void Write(int32_t level, const char* format, va_list arguments);

    std::vector<CLogSink*> sinks;  // in the order they were attached
    char* messageBuffer;
    char* lineBuffer;
    CKestrumCriticalSection* lock;  // one line at a time, from any thread
};

// Null unless an application installs a logger, before its devices' threads
// start; it must stay alive until they have stopped.
extern CSystemLogger* gSystemLogger;

// Writes one line to the installed logger; does nothing when none is installed.
void Log(int32_t level, const char* format, ...) SYSLOG_PRINTF_FORMAT(2, 3);

// Fills `record` with the local time; false for a null record.
bool GetLocalTimeSnapshot(SYSTEMTIME* record);

// GetLocalTime. Its own translation unit, so that a test can supply a fixed
// clock at link time without costing the program anything.
void ReadLocalClock(SYSTEMTIME* record);
