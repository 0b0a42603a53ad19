#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"

class FakeNewsServer;

// The server's side of one client connection, handed to every handler.
class FakeNewsSession {
  public:
    FakeNewsSession(FakeNewsServer& server, TcpSocket socket) : server_(server), socket_(std::move(socket)) {}

    void Send(const std::string& bytes);
    // Sends `unit` over and over, `total` bytes in all (the last copy cut short), in large writes; stops as
    // soon as the client takes no more. The bytes sent.
    uint64_t SendRepeated(const std::string& unit, uint64_t total);
    // Sends `first`, waits `pauseMs`, then sends `rest`: the client sees a line cut across receives.
    void SendSplit(const std::string& first, int pauseMs, const std::string& rest);
    // Waits, but no longer than until the server shuts down.
    void Pause(int milliseconds);
    // Goes silent until the server shuts down or Release() is called.
    void Stall();
    void Close();
    // Closes with a reset instead of an orderly end.
    void Reset();
    bool IsOpen() const { return socket_.IsOpen(); }

  private:
    friend class FakeNewsServer;
    FakeNewsServer& server_;
    TcpSocket socket_;
};

// A scriptable news server on a loopback address and an ephemeral port, served by threads of the test
// process. Each command line (without its CR LF) is matched case-insensitively against the registered
// commands: the longest one that equals the line or starts it followed by a blank wins. Unknown commands
// get "500 What?". Every connection is served by its own thread; all of them end promptly on destruction,
// also while a handler stalls.
class FakeNewsServer {
  public:
    using Handler = std::function<void(FakeNewsSession& session, const std::string& line)>;

    explicit FakeNewsServer(const std::string& loopbackAddress = "127.0.0.1");
    ~FakeNewsServer();
    FakeNewsServer(const FakeNewsServer&) = delete;
    FakeNewsServer& operator=(const FakeNewsServer&) = delete;

    uint16_t Port() const { return listener_.Port(); }
    // "127.0.0.1:PORT" or "[::1]:PORT".
    std::string Address() const;

    // Sent as soon as a client connects (default "200 fake news server ready\r\n").
    void SetGreeting(const std::string& bytes);
    // Runs instead of the greeting; its line argument is empty.
    void SetGreetingHandler(Handler handler);
    // A canned answer, sent as is.
    void Reply(const std::string& command, const std::string& answer);
    void Handle(const std::string& command, Handler handler);

    // Ready-made faults for Handle / SetGreetingHandler.
    static Handler SendThenClose(const std::string& partial);
    static Handler SendThenStall(const std::string& partial);
    static Handler SendSplit(const std::string& first, int pauseMs, const std::string& rest);

    // Command lines received so far, in order, without their line ends.
    std::vector<std::string> Commands() const;
    // Bytes received so far (command lines with their line ends).
    uint64_t BytesReceived() const { return bytesReceived_.load(); }
    int Connections() const { return connections_.load(); }
    // Ends every stall.
    void Release();

  private:
    friend class FakeNewsSession;

    void AcceptLoop();
    void Serve(std::shared_ptr<FakeNewsSession> session);
    void Dispatch(FakeNewsSession& session, const std::string& line);
    bool Stopping() const;
    // Waits until the server stops, a stall is released (when `untilRelease`) or the time is up.
    void Wait(int milliseconds, bool untilRelease);

    TcpListener listener_;
    std::string loopbackAddress_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    uint64_t releases_ = 0;
    Handler greeting_;
    std::map<std::string, Handler> handlers_; // keys in lower case
    std::vector<std::string> commands_;
    std::atomic<uint64_t> bytesReceived_{0};
    std::atomic<int> connections_{0};
    std::vector<std::thread> sessionThreads_;
    std::thread acceptThread_;
};
