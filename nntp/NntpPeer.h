#pragma once

#include <cstddef>

#include "platform/Socket.h"

// The far end of a connection when it is not a socket but a server inside this process: the readers are then
// driven by whatever bytes it hands out (fuzzing, replaying a captured exchange).
class NntpPeer {
  public:
    virtual ~NntpPeer() = default;
    // Takes the bytes of a command; the count taken.
    virtual size_t Send(const char* bytes, size_t count) = 0;
    // At most `capacity` bytes of the server's answer, as one socket receive would give them.
    virtual ReceiveResult Receive(char* buffer, size_t capacity) = 0;
};
