#pragma once

#include <memory>
#include <string>

class NntpConnection;

// The download's connection to its current server, known process-wide while it exists so that a bandwidth
// limit changed in the property sheet reaches it at once.
struct ForgetRunningConnection {
    void operator()(NntpConnection* connection) const;
};
using RunningConnectionPtr = std::unique_ptr<NntpConnection, ForgetRunningConnection>;

// A new connection to `address` that is the running one until it is destroyed.
RunningConnectionPtr MakeRunningConnection(const std::string& address);

// Gives the running connection, if there is one, a new bandwidth limit in bytes per second.
void SetRunningBandwidthLimit(double bytesPerSecond);
