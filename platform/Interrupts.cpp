#include "platform/Interrupts.h"

#include <csignal>
#include <pthread.h>
#include <thread>

void HandleInterrupts(std::function<void(int count)> handler) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals, handler = std::move(handler)] {
        for (int count = 1;; ++count) {
            int received = 0;
            if (sigwait(&signals, &received) != 0) {
                return;
            }
            handler(count);
        }
    }).detach();
}
