#include "platform/Interrupts.h"

#include <csignal>
#include <pthread.h>
#include <thread>

namespace {

sigset_t Interrupts() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

} // namespace

void BlockInterrupts() {
    sigset_t signals = Interrupts();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void HandleInterrupts(std::function<void(int count)> handler) {
    BlockInterrupts();
    std::thread([handler = std::move(handler)] {
        sigset_t signals = Interrupts();
        for (int count = 1;; ++count) {
            int received = 0;
            if (sigwait(&signals, &received) != 0) {
                return;
            }
            handler(count);
        }
    }).detach();
}
