// A device that records every callback a transport makes, from any thread.
#pragma once

#include "devices/abstract_device.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

enum class Callback { CanConnect, OnConnected, CanDisconnect, OnDisconnected, CanReceive, OnReceive };

inline constexpr int kNoClientRef = -1;  // the transport itself

struct RecordedCall {
    Callback callback;
    uint32_t transportId;
    int client;  // kNoClientRef for a null ClientRef and for notifications
    bool answer;  // what a query answered
    DWORD threadId;
    std::string data;  // OnReceive only
};

class CRecordingDevice : public CAbstractDevice {
public:
    bool CanConnect(uint32_t id, const ClientRef* client) override
    {
        return Record(Callback::CanConnect, id, client, acceptConnect);
    }
    void OnConnected(uint32_t id) override { Record(Callback::OnConnected, id, nullptr, true); }
    bool CanDisconnect(uint32_t id, const ClientRef* client) override
    {
        return Record(Callback::CanDisconnect, id, client, acceptDisconnect);
    }
    void OnDisconnected(uint32_t id) override { Record(Callback::OnDisconnected, id, nullptr, true); }
    bool CanReceive(uint32_t id, const ClientRef* client) override
    {
        return Record(Callback::CanReceive, id, client, acceptReceive);
    }
    void OnReceive(uint32_t id, const char* data, int32_t count) override
    {
        Record(Callback::OnReceive, id, nullptr, true, std::string(data, data + count));
    }
    std::vector<RecordedCall> Calls() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return calls;
    }

    void Clear()
    {
        std::lock_guard<std::mutex> guard(lock);
        calls.clear();
    }

    size_t Count(Callback callback, int client = kNoClientRef) const
    {
        size_t count = 0;
        for (const RecordedCall& call : Calls()) {
            count += call.callback == callback && call.client == client ? 1 : 0;
        }
        return count;
    }

    size_t CountAll(Callback callback) const
    {
        size_t count = 0;
        for (const RecordedCall& call : Calls()) {
            count += call.callback == callback ? 1 : 0;
        }
        return count;
    }

    // One line per call, such as "CanReceive 2" or "OnReceive hello"; "-"
    // stands for a null ClientRef.
    std::vector<std::string> Trace() const
    {
        static const char* const kNames[] = {"CanConnect",    "OnConnected", "CanDisconnect",
                                             "OnDisconnected", "CanReceive", "OnReceive"};
        std::vector<std::string> lines;
        for (const RecordedCall& call : Calls()) {
            std::string line = kNames[static_cast<int>(call.callback)];
            if (call.callback == Callback::OnReceive) {
                line += " " + call.data;
            } else if (IsQuery(call.callback)) {
                line += call.client == kNoClientRef ? " -" : " " + std::to_string(call.client);
            }
            lines.push_back(line);
        }
        return lines;
    }

    // False while a query that said yes still waits for its notification:
    // the transport is between the two calls.
    bool NoNotificationPending() const
    {
        const std::vector<RecordedCall> all = Calls();
        return all.empty() || !IsQuery(all.back().callback) || !all.back().answer;
    }

    // Every notification comes straight after its query, on the same thread,
    // and only when that query said yes; every call carries `expectedId`.
    bool KeepsTheContract(uint32_t expectedId) const
    {
        const std::vector<RecordedCall> all = Calls();
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i].transportId != expectedId) {
                return false;
            }
            const bool wantsNotification = IsQuery(all[i].callback) && all[i].answer;
            const bool isNotification = !IsQuery(all[i].callback);
            if (wantsNotification && (i + 1 == all.size() || !IsPair(all[i], all[i + 1]))) {
                return false;
            }
            if (isNotification && (i == 0 || !all[i - 1].answer || !IsPair(all[i - 1], all[i]))) {
                return false;
            }
        }
        return true;
    }

    std::atomic<bool> acceptConnect{true};
    std::atomic<bool> acceptDisconnect{true};
    std::atomic<bool> acceptReceive{true};
    // Runs on the calling thread inside every callback; set it while no
    // transport runs.
    std::function<void()> duringCallback;

private:
    static bool IsQuery(Callback callback)
    {
        return callback == Callback::CanConnect || callback == Callback::CanDisconnect ||
               callback == Callback::CanReceive;
    }

    // The enumerators list each query right before its notification.
    static bool IsPair(const RecordedCall& query, const RecordedCall& notification)
    {
        return IsQuery(query.callback) &&
               static_cast<int>(query.callback) + 1 == static_cast<int>(notification.callback) &&
               query.threadId == notification.threadId;
    }

    bool Record(Callback callback, uint32_t id, const ClientRef* client, bool answer,
                std::string data = {})
    {
        if (duringCallback) {
            duringCallback();
        }
        std::lock_guard<std::mutex> guard(lock);
        calls.push_back({callback, id, client == nullptr ? kNoClientRef : client->clientIndex, answer,
                         GetCurrentThreadId(), std::move(data)});
        return answer;
    }

    mutable std::mutex lock;
    std::vector<RecordedCall> calls;
};

}  // namespace testsupport
