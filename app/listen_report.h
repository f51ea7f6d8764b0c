// Decides which line about the listening socket the user should see next.
#pragma once

enum class ListenNote {
    None,
    CannotListen,
    Listening,
};

// Tells the user once when the port cannot be bound, and once more when the
// receiver listens again after that; a start that binds at once says nothing.
class CListenReport {
public:
    ListenNote Update(int socketError, bool listening);

private:
    bool failing = false;
};
