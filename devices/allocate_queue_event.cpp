// The allocation of event records, apart so that a test can make it fail.
#include "devices/global_queue.h"

#include <cstdlib>

QueueEvent* AllocateQueueEvent()
{
    return static_cast<QueueEvent*>(std::calloc(1, sizeof(QueueEvent)));
}
