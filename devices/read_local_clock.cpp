// The local clock that log lines are stamped with, apart so that a test can fix it.
#include "devices/system_logger.h"

void ReadLocalClock(SYSTEMTIME* record)
{
    GetLocalTime(record);
}
