// A receiver of the system logger's finished lines.
#pragma once

#include <cstdint>

class CLogSink {
public:
    explicit CLogSink(int32_t maximumLevel) : threshold(maximumLevel) {}
    virtual ~CLogSink() = default;

    CLogSink(const CLogSink&) = delete;
    CLogSink& operator=(const CLogSink&) = delete;

    // Kept for the interface's layout; the logger never calls it.
    virtual void Reserved1() {}
    // `line` is zero-terminated and valid only during the call.
    virtual void WriteLine(const char* line) = 0;

    int32_t threshold;  // a LogLevel: lines up to this level are written
};
