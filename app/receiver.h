// Sets up the syslog receiver inside the main loop and takes it down again.
#pragma once

// On the main thread, once the window exists and before the main loop.
void StartReceiver();
// On the main thread, from every turn of the main loop: keeps a receiver that
// cannot listen trying again, and tells the user how that goes.
void PollReceiver();
// On the main thread, after the main loop and before the window is deleted.
void StopReceiver();
// On the main thread: true while the receiver has its port and listens.
bool ReceiverListens();
