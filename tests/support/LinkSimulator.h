#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Socket.h"

// A TCP proxy on 127.0.0.1 that gives a loopback server the round trip and the rate of a real line: every
// byte from the client reaches the server `oneWayDelay` after it was sent, and every byte from the server
// leaves for the client at the end of its serialisation at `serverToClientBytesPerSecond` plus the delay
// (0 bytes a second: no rate limit). It serves any number of connections and stops by itself after
// `lifetime`, closing them.
class LinkSimulator {
  public:
    LinkSimulator(uint16_t serverPort, std::chrono::milliseconds oneWayDelay,
                  double serverToClientBytesPerSecond,
                  std::chrono::seconds lifetime = std::chrono::seconds(600));
    ~LinkSimulator();
    LinkSimulator(const LinkSimulator&) = delete;
    LinkSimulator& operator=(const LinkSimulator&) = delete;

    // Opens the listening port; false when it cannot.
    bool Start();
    void Stop();
    // True once the lifetime is over or Stop was called.
    bool Stopped() const { return stopping_.load(); }
    uint16_t Port() const { return listener_.Port(); }
    // "127.0.0.1:PORT", as a server address of the configuration.
    std::string Address() const;

  private:
    void AcceptLoop();
    void Serve(TcpSocket client);

    uint16_t serverPort_;
    std::chrono::microseconds delay_;
    double rate_;
    std::chrono::steady_clock::time_point deadline_;
    std::chrono::seconds lifetime_;
    TcpListener listener_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::list<std::thread> connections_;
    std::thread acceptThread_;
};
