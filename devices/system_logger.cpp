// The process-wide logger: time-stamped lines handed to attached sinks.
#include "devices/system_logger.h"

#include "runtime/scoped_lock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

CSystemLogger* gSystemLogger = nullptr;

static const char* const kLevelNames[] = {
    "EMERG.", "ALERT", "CRITICAL", "ERROR", "WARNING", "NOTICE", "INFO", "DEBUG", "ALL",
};
static_assert(sizeof(kLevelNames) / sizeof(kLevelNames[0]) == LogAll + 1, "one name per level");

// Room for the stamp even with out-of-range clock fields (five digits each),
// the longest level name, two tabs and the line feed, so a message that fits
// its buffer always fits the line.
static constexpr size_t kLineCapacity = CSystemLogger::kMessageCapacity + 64;

static const char* LevelName(int32_t level)
{
    // Callers should pass 0 to 8; anything else must not index past the table.
    return level >= LogEmergency && level <= LogAll ? kLevelNames[level] : "UNKNOWN";
}

CSystemLogger::CSystemLogger()
    : messageBuffer(static_cast<char*>(std::malloc(kMessageCapacity))),
      lineBuffer(static_cast<char*>(std::malloc(kLineCapacity))),
      lock(new CKestrumCriticalSection())
{
}

CSystemLogger::~CSystemLogger()
{
    delete lock;
    lock = nullptr;
    std::free(lineBuffer);
    lineBuffer = nullptr;
    std::free(messageBuffer);
    messageBuffer = nullptr;
}

void CSystemLogger::AttachSink(CLogSink* sink)
{
    CScopedLock guard(lock);
    sinks.push_back(sink);
}

void CSystemLogger::DetachSink(CLogSink* sink)
{
    CScopedLock guard(lock);
    sinks.erase(std::remove(sinks.begin(), sinks.end(), sink), sinks.end());
}

// The buffers are shared by every caller, so the lock covers the formatting
// as well as the hand-over to the sinks.
void CSystemLogger::Write(int32_t level, const char* format, va_list arguments)
{
    CScopedLock guard(lock);
    if (messageBuffer == nullptr || lineBuffer == nullptr) {
        return;  // the buffers could not be allocated: nothing can be logged
    }
    messageBuffer[0] = '\0';
    if (format != nullptr) {
        std::vsnprintf(messageBuffer, kMessageCapacity, format, arguments);
    }
    SYSTEMTIME now{};
    GetLocalTimeSnapshot(&now);
    std::snprintf(lineBuffer, kLineCapacity, "[%.2d-%.2d-%.2d %.2d:%.2d:%.2d.%.3d]\t%s\t%s\n",
                  now.wDay, now.wMonth, now.wYear, now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds, LevelName(level), messageBuffer);
    for (CLogSink* sink : sinks) {
        if (level <= sink->threshold) {
            sink->WriteLine(lineBuffer);
        }
    }
}

void Log(int32_t level, const char* format, ...)
{
    CSystemLogger* logger = gSystemLogger;
    if (logger == nullptr) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    logger->Write(level, format, arguments);
    va_end(arguments);
}

bool GetLocalTimeSnapshot(SYSTEMTIME* record)
{
    if (record == nullptr) {
        return false;
    }
    ReadLocalClock(record);
    return true;
}
