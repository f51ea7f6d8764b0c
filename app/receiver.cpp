// Sets up the syslog receiver inside the main loop and takes it down again.
#include "app/receiver.h"

// The receiver does not exist yet: the window runs on its own until it does.
void StartReceiver()
{
}

void StopReceiver()
{
}
