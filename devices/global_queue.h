// The process-wide queue of device events, read by a consumer outside the devices.
#pragma once

#include "runtime/kestrum_critical_section.h"

#include <cstddef>
#include <cstdint>
#include <vector>

enum QueueEventCode : uint32_t {
    EventDeviceConnected = 129,
    EventDeviceDisconnected = 130,
    EventClientConnected = 131,
    EventClientDisconnected = 132,
};

// Allocated with malloc by the poster; whoever takes it out frees it with free.
struct QueueEvent {
    uint32_t code;
    uint32_t reserved1;
    uint32_t deviceId;
    uint32_t clientIndex;  // 0: the event is about the device itself
    uint32_t reserved2;
    uint32_t reserved3;
    uint32_t reserved4;
};
static_assert(sizeof(QueueEvent) == 7 * sizeof(uint32_t), "an event is seven 32-bit words");

class CGlobalQueue {
public:
    CGlobalQueue();
    ~CGlobalQueue();  // frees the events still queued

    CGlobalQueue(const CGlobalQueue&) = delete;
    CGlobalQueue& operator=(const CGlobalQueue&) = delete;

    // The queue owns `event` from here on. False when the queue could not
    // grow; the event is freed then.
    bool Push(QueueEvent* event);
    // The oldest event, which the caller frees; null when the queue is empty.
    QueueEvent* Pop();
    size_t Count();

    CKestrumCriticalSection* lock;  // guards `events`
    std::vector<QueueEvent*>* events;  // oldest first
};

// Null unless an application installs a queue, before its devices' threads
// start; it must stay alive until they have stopped.
extern CGlobalQueue* gGlobalQueue;

// Posts one event to the installed queue, with the other fields zero. With no
// queue it logs an error instead; a failed allocation posts nothing.
void PostDeviceEvent(uint32_t code, uint16_t deviceId, uint16_t clientIndex);

// A zeroed event record from malloc, or null. Its own translation unit, so
// that a test can supply a failing version at link time.
QueueEvent* AllocateQueueEvent();
