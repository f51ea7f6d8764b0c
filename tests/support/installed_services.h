// Installs the global event queue or the system logger for one test, and
// records what reaches them. Install before a device's threads start and let
// the scope end only after they have stopped.
#pragma once

#include "devices/global_queue.h"
#include "devices/log_sink.h"
#include "devices/system_logger.h"

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

// Keeps a copy of every line; safe to read while another thread logs.
class CRecordingLogSink : public CLogSink {
public:
    explicit CRecordingLogSink(int32_t maximumLevel = LogAll) : CLogSink(maximumLevel) {}

    void WriteLine(const char* line) override
    {
        std::lock_guard<std::mutex> hold(mutex);
        lines.emplace_back(line);
    }

    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> hold(mutex);
        return lines;
    }

private:
    std::mutex mutex;
    std::vector<std::string> lines;
};

class CInstalledGlobalQueue {
public:
    CInstalledGlobalQueue() { gGlobalQueue = &queue; }
    ~CInstalledGlobalQueue() { gGlobalQueue = nullptr; }
    CInstalledGlobalQueue(const CInstalledGlobalQueue&) = delete;
    CInstalledGlobalQueue& operator=(const CInstalledGlobalQueue&) = delete;

    // Takes every queued event out, oldest first, and frees the records.
    std::vector<QueueEvent> TakeAll()
    {
        std::vector<QueueEvent> taken;
        while (QueueEvent* event = queue.Pop()) {
            taken.push_back(*event);
            std::free(event);
        }
        return taken;
    }

    CGlobalQueue queue;
};

// A logger with one recording sink that receives every level.
class CInstalledSystemLogger {
public:
    CInstalledSystemLogger()
    {
        logger.AttachSink(&sink);
        gSystemLogger = &logger;
    }
    ~CInstalledSystemLogger() { gSystemLogger = nullptr; }
    CInstalledSystemLogger(const CInstalledSystemLogger&) = delete;
    CInstalledSystemLogger& operator=(const CInstalledSystemLogger&) = delete;

    CRecordingLogSink sink;
    CSystemLogger logger;
};

}  // namespace testsupport
