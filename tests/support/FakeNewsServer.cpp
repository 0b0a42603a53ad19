#include "tests/support/FakeNewsServer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>

namespace {

constexpr int kPollMs = 50;
constexpr int kDrainMs = 20;
constexpr int kSendTimeoutMs = 5000;
constexpr size_t kRepeatBlock = size_t{1} << 20;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

void FakeNewsSession::Send(const std::string& bytes) {
    socket_.Send(bytes.data(), bytes.size(), kSendTimeoutMs);
}

uint64_t FakeNewsSession::SendRepeated(const std::string& unit, uint64_t total) {
    if (unit.empty()) {
        return 0;
    }
    std::string block;
    while (block.size() < kRepeatBlock) {
        block += unit;
    }
    uint64_t sent = 0;
    while (sent < total) {
        // Each block holds whole copies, so the next one goes on where this one ends.
        size_t want = static_cast<size_t>(std::min<uint64_t>(block.size(), total - sent));
        size_t done = socket_.Send(block.data(), want, kSendTimeoutMs);
        sent += done;
        if (done < want) {
            break;
        }
    }
    return sent;
}

void FakeNewsSession::SendSplit(const std::string& first, int pauseMs, const std::string& rest) {
    Send(first);
    Pause(pauseMs);
    Send(rest);
}

void FakeNewsSession::Pause(int milliseconds) {
    server_.Wait(milliseconds, false);
}

void FakeNewsSession::Stall() {
    server_.Wait(-1, true);
}

void FakeNewsSession::Close() {
    // An orderly end: commands the client already sent are read first, since closing with them unread would
    // turn the close into a reset (Reset is that fault).
    char buffer[4096];
    for (int i = 0; i < 64 && socket_.Receive(buffer, sizeof buffer, kDrainMs).status == ReceiveStatus::Data;
         ++i) {
    }
    socket_.Close();
}

void FakeNewsSession::Reset() {
    socket_.SetAbortiveClose();
    socket_.Close();
}

FakeNewsServer::FakeNewsServer(const std::string& loopbackAddress) : loopbackAddress_(loopbackAddress) {
    if (!listener_.Listen(loopbackAddress)) {
        throw std::runtime_error("fake news server cannot listen on " + loopbackAddress);
    }
    SetGreeting("200 fake news server ready\r\n");
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

FakeNewsServer::~FakeNewsServer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    acceptThread_.join();
    for (std::thread& thread : sessionThreads_) {
        thread.join();
    }
}

std::string FakeNewsServer::Address() const {
    std::string port = std::to_string(Port());
    return loopbackAddress_.find(':') != std::string::npos ? "[" + loopbackAddress_ + "]:" + port
                                                           : loopbackAddress_ + ":" + port;
}

void FakeNewsServer::SetGreeting(const std::string& bytes) {
    SetGreetingHandler([bytes](FakeNewsSession& session, const std::string&) { session.Send(bytes); });
}

void FakeNewsServer::SetGreetingHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    greeting_ = std::move(handler);
}

void FakeNewsServer::Reply(const std::string& command, const std::string& answer) {
    Handle(command, [answer](FakeNewsSession& session, const std::string&) { session.Send(answer); });
}

void FakeNewsServer::Handle(const std::string& command, Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handlers_[Lower(command)] = std::move(handler);
}

FakeNewsServer::Handler FakeNewsServer::SendThenClose(const std::string& partial) {
    return [partial](FakeNewsSession& session, const std::string&) {
        session.Send(partial);
        session.Close();
    };
}

FakeNewsServer::Handler FakeNewsServer::SendThenStall(const std::string& partial) {
    return [partial](FakeNewsSession& session, const std::string&) {
        session.Send(partial);
        session.Stall();
    };
}

FakeNewsServer::Handler FakeNewsServer::SendSplit(const std::string& first, int pauseMs,
                                                  const std::string& rest) {
    return [=](FakeNewsSession& session, const std::string&) { session.SendSplit(first, pauseMs, rest); };
}

std::vector<std::string> FakeNewsServer::Commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

void FakeNewsServer::Release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++releases_;
    }
    wake_.notify_all();
}

void FakeNewsServer::Wait(int milliseconds, bool untilRelease) {
    std::unique_lock<std::mutex> lock(mutex_);
    uint64_t releases = releases_;
    auto done = [&] { return stopping_ || (untilRelease && releases_ != releases); };
    if (milliseconds < 0) {
        wake_.wait(lock, done);
    } else {
        wake_.wait_for(lock, std::chrono::milliseconds(milliseconds), done);
    }
}

void FakeNewsServer::AcceptLoop() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) {
                return;
            }
        }
        if (std::optional<TcpSocket> client = listener_.Accept(kPollMs)) {
            ++connections_;
            auto session = std::make_shared<FakeNewsSession>(*this, std::move(*client));
            sessionThreads_.emplace_back([this, session] { Serve(session); });
        }
    }
}

void FakeNewsServer::Serve(std::shared_ptr<FakeNewsSession> session) {
    Handler greeting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        greeting = greeting_;
    }
    greeting(*session, "");
    std::string pending;
    char buffer[65536];
    while (session->IsOpen()) {
        ReceiveResult result = session->socket_.Receive(buffer, sizeof buffer, kPollMs);
        if (result.status == ReceiveStatus::Closed || result.status == ReceiveStatus::Failed) {
            return;
        }
        if (result.status == ReceiveStatus::TimedOut) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) {
                return;
            }
            continue;
        }
        bytesReceived_ += result.count;
        pending.append(buffer, result.count);
        size_t end;
        while (session->IsOpen() && (end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            // Commands a client sent ahead may still wait here when a stalled handler returns at shutdown;
            // what served them may be gone by then.
            if (Stopping()) {
                return;
            }
            Dispatch(*session, line);
        }
    }
}

bool FakeNewsServer::Stopping() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
}

void FakeNewsServer::Dispatch(FakeNewsSession& session, const std::string& line) {
    Handler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(line);
        std::string lower = Lower(line);
        size_t best = 0;
        for (const auto& [command, candidate] : handlers_) {
            bool matches = lower.compare(0, command.size(), command) == 0 &&
                           (lower.size() == command.size() || lower[command.size()] == ' ');
            if (matches && command.size() >= best) {
                best = command.size();
                handler = candidate;
            }
        }
    }
    if (handler) {
        handler(session, line);
    } else {
        session.Send("500 What?\r\n");
    }
}
