#include "engine/RunningConnection.h"

#include <mutex>

#include "nntp/NntpConnection.h"

namespace {

std::mutex runningMutex;
NntpConnection* running = nullptr;

} // namespace

void ForgetRunningConnection::operator()(NntpConnection* connection) const {
    {
        std::lock_guard<std::mutex> lock(runningMutex);
        if (running == connection) {
            running = nullptr;
        }
    }
    delete connection;
}

RunningConnectionPtr MakeRunningConnection(const std::string& address) {
    RunningConnectionPtr connection(new NntpConnection(address));
    std::lock_guard<std::mutex> lock(runningMutex);
    running = connection.get();
    return connection;
}

void SetRunningBandwidthLimit(double bytesPerSecond) {
    std::lock_guard<std::mutex> lock(runningMutex);
    if (running) {
        running->SetBandwidthLimit(bytesPerSecond);
    }
}
