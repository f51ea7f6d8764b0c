// Decides which line about the listening socket the user should see next.
#include "app/listen_report.h"

ListenNote CListenReport::Update(int socketError, bool listening)
{
    if (!failing && socketError != 0) {
        failing = true;
        return ListenNote::CannotListen;
    }
    if (failing && listening && socketError == 0) {
        failing = false;
        return ListenNote::Listening;
    }
    return ListenNote::None;
}
