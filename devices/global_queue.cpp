// The process-wide queue of device events, read by a consumer outside the devices.
#include "devices/global_queue.h"

#include "devices/system_logger.h"
#include "runtime/scoped_lock.h"

#include <cstdlib>
#include <exception>

CGlobalQueue* gGlobalQueue = nullptr;

CGlobalQueue::CGlobalQueue()
    : lock(new CKestrumCriticalSection()), events(new std::vector<QueueEvent*>())
{
}

CGlobalQueue::~CGlobalQueue()
{
    for (QueueEvent* event : *events) {
        std::free(event);
    }
    delete events;
    events = nullptr;
    delete lock;
    lock = nullptr;
}

bool CGlobalQueue::Push(QueueEvent* event)
{
    CScopedLock guard(lock);
    // A growth failure must not escape into the device's callback, where it
    // would end the program from the transport's thread.
    try {
        events->push_back(event);
    } catch (const std::exception&) {  // bad_alloc or length_error
        std::free(event);
        return false;
    }
    return true;
}

QueueEvent* CGlobalQueue::Pop()
{
    CScopedLock guard(lock);
    if (events->empty()) {
        return nullptr;
    }
    QueueEvent* oldest = events->front();
    events->erase(events->begin());
    return oldest;
}

size_t CGlobalQueue::Count()
{
    CScopedLock guard(lock);
    return events->size();
}

void PostDeviceEvent(uint32_t code, uint16_t deviceId, uint16_t clientIndex)
{
    CGlobalQueue* queue = gGlobalQueue;
    if (queue == nullptr) {
        Log(LogError, "!!!!!!!!!!!!!!!!!!! CGlobalQueue NOT EXIST!!!!!!!!!!!!!!!!!!!!!");
        return;
    }
    QueueEvent* event = AllocateQueueEvent();
    if (event == nullptr) {
        return;  // out of memory: the event is lost, the device carries on
    }
    event->code = code;
    event->deviceId = deviceId;
    event->clientIndex = clientIndex;
    // A failed push has freed the event already; the device carries on.
    queue->Push(event);
}
