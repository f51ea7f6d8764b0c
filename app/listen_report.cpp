// Decides which line about the listening socket the user should see next.
#include "app/listen_report.h"

ListenNote CListenReport::Update(int socketError, int receiveError, bool listening)
{
    if (receiveError != 0) {
        failedReceive = receiveError;
    }
    if (!failing && socketError != 0) {
        failing = true;
        error = socketError;
        return ListenNote::CannotListen;
    }
    if (!listening || socketError != 0) {
        return ListenNote::None;
    }
    if (failing) {
        // A failed socket that could not be bound again is told by the
        // lines about binding: one says it failed, this one that it is over.
        failing = false;
        failedReceive = 0;
        return ListenNote::Listening;
    }
    if (failedReceive != 0) {
        error = failedReceive;
        failedReceive = 0;
        return ListenNote::ReceiveFailed;
    }
    return ListenNote::None;
}
