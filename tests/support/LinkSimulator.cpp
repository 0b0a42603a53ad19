#include "tests/support/LinkSimulator.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMs = 50;
// Small reads keep the release of each byte close to the end of its own serialisation.
constexpr size_t kChunkBytes = 16384;
// What one direction holds before it stops reading: far beyond a line's bytes in flight, yet a bound, so a
// client that does not read holds the server back as a real link would.
constexpr size_t kMaxQueuedBytes = size_t{16} << 20;
constexpr int kSendSliceMs = 200;

struct Chunk {
    Clock::time_point release;
    std::string bytes; // empty: the sender closed its side here
};

// One direction of one connection: what has been read and when each piece may leave.
class Lane {
  public:
    Lane(std::chrono::microseconds delay, double rate) : delay_(delay), rate_(rate) {}

    // Reads from `from` until it closes, the connection ends or the simulator stops.
    void Read(TcpSocket& from, const std::atomic<bool>& done, const std::atomic<bool>& stop) {
        std::string buffer(kChunkBytes, '\0');
        while (!stop.load() && !done.load()) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                if (queued_ >= kMaxQueuedBytes) {
                    wake_.wait_for(lock, std::chrono::milliseconds(kPollMs));
                    continue;
                }
            }
            ReceiveResult result = from.Receive(buffer.data(), buffer.size(), kPollMs);
            if (result.status == ReceiveStatus::TimedOut) {
                continue;
            }
            bool data = result.status == ReceiveStatus::Data;
            Push(data ? buffer.substr(0, result.count) : std::string());
            if (!data) {
                return;
            }
        }
    }

    // Sends what was read to `to`, each piece at its release time; sets `done` once the sender has closed.
    void Write(TcpSocket& to, std::atomic<bool>& done, const std::atomic<bool>& stop) {
        while (!stop.load() && !done.load()) {
            std::optional<Chunk> chunk = Next(stop, done);
            if (!chunk) {
                continue;
            }
            if (chunk->bytes.empty()) {
                done.store(true);
                return;
            }
            size_t sent = 0;
            while (sent < chunk->bytes.size() && !stop.load() && !done.load()) {
                sent += to.Send(chunk->bytes.data() + sent, chunk->bytes.size() - sent, kSendSliceMs);
            }
        }
    }

  private:
    void Push(std::string bytes) {
        Clock::time_point now = Clock::now();
        std::lock_guard<std::mutex> lock(mutex_);
        if (rate_ > 0) {
            auto serialisation = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(static_cast<double>(bytes.size()) / rate_));
            serialEnd_ = std::max(serialEnd_, now) + serialisation;
        } else {
            serialEnd_ = std::max(serialEnd_, now);
        }
        queued_ += bytes.size();
        chunks_.push_back({serialEnd_ + delay_, std::move(bytes)});
        wake_.notify_all();
    }

    // The next piece once its release time has come; empty after a short wait without one.
    std::optional<Chunk> Next(const std::atomic<bool>& stop, const std::atomic<bool>& done) {
        std::unique_lock<std::mutex> lock(mutex_);
        Clock::time_point until = Clock::now() + std::chrono::milliseconds(kPollMs);
        if (chunks_.empty()) {
            wake_.wait_until(lock, until);
            return std::nullopt;
        }
        Clock::time_point release = chunks_.front().release;
        if (release > Clock::now()) {
            wake_.wait_until(lock, std::min(release, until));
            if (chunks_.front().release > Clock::now() || stop.load() || done.load()) {
                return std::nullopt;
            }
        }
        Chunk chunk = std::move(chunks_.front());
        chunks_.pop_front();
        queued_ -= chunk.bytes.size();
        wake_.notify_all();
        return chunk;
    }

    std::chrono::microseconds delay_;
    double rate_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Chunk> chunks_;
    size_t queued_ = 0;
    Clock::time_point serialEnd_{};
};

} // namespace

LinkSimulator::LinkSimulator(uint16_t serverPort, std::chrono::milliseconds oneWayDelay,
                             double serverToClientBytesPerSecond, std::chrono::seconds lifetime)
    : serverPort_(serverPort), delay_(oneWayDelay), rate_(serverToClientBytesPerSecond), lifetime_(lifetime) {
}

LinkSimulator::~LinkSimulator() {
    Stop();
}

bool LinkSimulator::Start() {
    if (!listener_.Listen("127.0.0.1")) {
        return false;
    }
    deadline_ = Clock::now() + lifetime_;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void LinkSimulator::Stop() {
    stopping_.store(true);
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::thread& connection : connections_) {
        connection.join();
    }
    connections_.clear();
    listener_.Close();
}

std::string LinkSimulator::Address() const {
    return "127.0.0.1:" + std::to_string(Port());
}

void LinkSimulator::AcceptLoop() {
    while (!stopping_.load()) {
        if (Clock::now() >= deadline_) {
            stopping_.store(true);
            return;
        }
        std::optional<TcpSocket> client = listener_.Accept(kPollMs);
        if (client) {
            std::lock_guard<std::mutex> lock(mutex_);
            connections_.emplace_back(
                [this, socket = std::move(*client)]() mutable { Serve(std::move(socket)); });
        }
    }
}

void LinkSimulator::Serve(TcpSocket client) {
    std::optional<SocketAddress> address = ResolveAddress("127.0.0.1", serverPort_);
    TcpSocket server;
    if (!address || !server.Connect(*address, 5000)) {
        return;
    }
    Lane up(delay_, 0);
    Lane down(delay_, rate_);
    std::atomic<bool> done{false};
    // The sockets are only read by one thread and written by another; both close when all four have ended.
    std::thread readClient([&] { up.Read(client, done, stopping_); });
    std::thread readServer([&] { down.Read(server, done, stopping_); });
    std::thread writeServer([&] { up.Write(server, done, stopping_); });
    down.Write(client, done, stopping_);
    done.store(true);
    writeServer.join();
    readServer.join();
    readClient.join();
}
