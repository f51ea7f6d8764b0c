// Decides which line about the listening socket the user should see next.
#pragma once

enum class ListenNote {
    None,
    CannotListen,
    Listening,
    ReceiveFailed,  // a socket failed for good, and a new one listens
};

// Tells the user once when the port cannot be bound, and once more when the
// receiver listens again after that; a start that binds at once says nothing.
// A socket that failed for good is told of once, when a new one listens.
class CListenReport {
public:
    // `receiveError` is the error of a failed socket, given once.
    ListenNote Update(int socketError, int receiveError, bool listening);
    // The Winsock error of the last CannotListen or ReceiveFailed.
    int Error() const { return error; }

private:
    bool failing = false;
    int failedReceive = 0;  // waits until the receiver listens
    int error = 0;
};
