// spindrel-linksim SERVER_PORT ONE_WAY_DELAY_MS MBIT_PER_SECOND LIFETIME_SECONDS
// Puts a real line's round trip and rate between a client and a news server on loopback: prints the port to
// connect to, then relays until the lifetime is over.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "tests/support/LinkSimulator.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s SERVER_PORT ONE_WAY_DELAY_MS MBIT_PER_SECOND LIFETIME_SECONDS\n",
                     argv[0]);
        return 2;
    }
    auto port = static_cast<uint16_t>(std::atoi(argv[1]));
    std::chrono::milliseconds delay(std::atoi(argv[2]));
    double rate = std::atof(argv[3]) * 1e6 / 8;
    std::chrono::seconds lifetime(std::atoi(argv[4]));
    LinkSimulator link(port, delay, rate, lifetime);
    if (!link.Start()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::printf("%u\n", link.Port());
    std::fflush(stdout);
    while (!link.Stopped()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return 0;
}
