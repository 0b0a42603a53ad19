#include "nntp/NntpConnection.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "log/Log.h"

namespace {

// Entries of different connections must not interleave inside the traffic log.
std::mutex trafficLogMutex;

// The bandwidth limiter's longest pause: what a 32-bit count of milliseconds holds, about 24 days.
constexpr double kMaxPauseMs = 2147483647.0;

int64_t SystemSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Pauses in short slices; a pause that began during a download ends early once the download is stopped.
void PauseUnlessStopped(int64_t milliseconds) {
    bool watchStop = DownloadRunning.load() != 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        if (watchStop && DownloadRunning.load() == 0) {
            return;
        }
        auto left = end - std::chrono::steady_clock::now();
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(100)));
    }
}

} // namespace

NntpConnection::NntpConnection(const std::string& address)
    : hostName_(address.empty() ? "localhost" : address), now_(SystemSeconds), sleep_(PauseUnlessStopped) {
    ResetRate();
    if (std::optional<HostPort> endpoint = ParseHostPort(hostName_)) {
        port_ = endpoint->port;
        serverAddress_ = ResolveAddress(endpoint->host, endpoint->port);
    }
}

NntpConnection::NntpConnection(const std::string& address, int& constructed) : NntpConnection(address) {
    constructed = 1;
}

NntpConnection::NntpConnection(NntpPeer& peer, const std::string& hostName)
    : peer_(&peer), hostName_(hostName), now_(SystemSeconds), sleep_(PauseUnlessStopped) {
    ResetRate();
}

NntpConnection::~NntpConnection() {
    if (link_ == Link::Open) {
        Disconnect();
    }
}

void NntpConnection::SetClock(SecondsClock now, Sleeper sleep) {
    now_ = std::move(now);
    sleep_ = std::move(sleep);
    ResetRate();
}

int NntpConnection::Connect() {
    if (link_ == Link::Open) {
        Disconnect();
    }
    // A download stopped, or a group-list fetch cancelled, while the server is slow to take the connection or
    // to greet ends the wait at once.
    bool downloadWasRunning = DownloadRunning.load() != 0;
    bool listWasCancelled = GroupListCancel.load() != 0;
    auto abandoned = [&] {
        return (downloadWasRunning && DownloadRunning.load() == 0) ||
               (!listWasCancelled && GroupListCancel.load() != 0);
    };
    bool opened = peer_ || (serverAddress_ && socket_.Connect(*serverAddress_, kConnectTimeoutMs, abandoned));
    if (!opened) {
        link_ = Link::Unused;
        return 0;
    }
    link_ = Link::Open;
    greeting_.clear();
    xhdrAnswered_ = false;
    // Whatever an earlier connection left unread must never pass for this server's answers.
    DropUnread();

    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(greetingTimeoutMs_);
    std::string greeting;
    while (!TakeLineWithin(greeting, kMaxStatusLine)) {
        if (link_ != Link::Open || std::chrono::steady_clock::now() >= deadline || abandoned()) {
            return 0;
        }
        ReceiveBlock();
        if (link_ != Link::Open) {
            return 0;
        }
    }
    greeting_ = greeting.substr(0, greeting.find_last_not_of("\r\n") + 1);
    if (std::strtol(greeting.c_str(), nullptr, 10) == 400) {
        LogMessage("Server has answered, but is not ready...");
        return 2;
    }
    connectTime_ = now_();
    totalBytes_ = 0;
    return 1;
}

int NntpConnection::Disconnect() {
    CloseLink();
    return 0;
}

void NntpConnection::CloseLink() {
    socket_.Close();
    link_ = Link::Closed;
    // Answers that never came are never taken for those of the next link.
    ahead_.clear();
    bytesAhead_ = 0;
}

void NntpConnection::CutOff(const char* why) {
    LogMessage("%s - connection closed", why);
    CloseLink();
    DropUnread();
}

void NntpConnection::DropUnread() {
    ring_.clear();
    scannedWithoutLineEnd_ = 0;
}

int NntpConnection::SendBytes(const char* bytes, size_t count) {
    // An answer begins with the first byte the server sends after its command. Bytes still unread belong to
    // an earlier answer that went on past its end, or to a connection that is gone: never to this one.
    // Commands sent ahead leave their answers in the ring, so only a link with none ahead is checked.
    if (ahead_.empty()) {
        if (!ring_.empty() && link_ == Link::Open) {
            CutOff("Server sent more than was asked for");
        }
        DropUnread();
    }
    if (link_ != Link::Open) {
        return 0;
    }
    size_t sent = peer_ ? peer_->Send(bytes, count) : socket_.Send(bytes, count, kSendTimeoutMs);
    totalBytes_ += sent;
    if (sent == count) {
        LogTraffic("tx():\n", bytes, count, true);
        return 1;
    }
    if (!txrxLogName_.empty()) {
        char heading[80];
        std::snprintf(heading, sizeof heading, "tx(): failed, only %zu of %zu\n", sent, count);
        LogTraffic(heading, bytes, sent, sent > 0);
    }
    // Half a command has gone out: the exchange can no longer be trusted, so the connection ends here.
    CloseLink();
    return 0;
}

int NntpConnection::SendText(const char* text) {
    return SendBytes(text, std::strlen(text));
}

int NntpConnection::ReceiveBlock() {
    if (link_ != Link::Open) {
        return 0;
    }
    // Bytes land in the ring directly. A traffic log entry holds at most one block, so while the traffic log
    // is on receives stay that small; otherwise a long body arrives in few, large receives.
    size_t want = txrxLogName_.empty() ? kLargeReceiveSize : kReceiveBlockSize;
    size_t room = 0;
    char* space = ring_.appendSpace(want, room);
    ReceiveResult result = peer_ ? peer_->Receive(space, room) : socket_.Receive(space, room, kReceiveWaitMs);
    switch (result.status) {
    case ReceiveStatus::Data:
        LogTraffic("rx():\n", space, result.count, true);
        rateBytes_ += result.count;
        totalBytes_ += result.count;
        ring_.commit(result.count);
        return 1;
    case ReceiveStatus::TimedOut:
        return 0;
    case ReceiveStatus::Closed:
        LogTraffic("rx():\nConnection terminated\n", nullptr, 0, true);
        CloseLink();
        return 0;
    case ReceiveStatus::Failed:
        LogTraffic("rx():\nError 0: Unkown Socket recv() Error\n", nullptr, 0, true);
        // A failed receive on a stream socket means the link is broken (reset, unreachable): it stays closed.
        CloseLink();
        return 0;
    }
    return 0;
}

bool NntpConnection::TakeLineAppending(std::string& out) {
    size_t end = ring_.find('\n', scannedWithoutLineEnd_);
    if (end == ByteRing::npos) {
        scannedWithoutLineEnd_ = ring_.size();
        return false;
    }
    ring_.take(end + 1, out);
    scannedWithoutLineEnd_ = 0;
    return true;
}

bool NntpConnection::TakeLineWithin(std::string& out, size_t maxLine) {
    size_t start = out.size();
    bool complete = TakeLineAppending(out);
    return !LineTooLong(complete ? out.size() - start : scannedWithoutLineEnd_, maxLine) && complete;
}

bool NntpConnection::LineTooLong(size_t length, size_t maxLine) {
    if (length <= maxLine) {
        return false;
    }
    char why[80];
    std::snprintf(why, sizeof why, "Server sent a line longer than %zu bytes", maxLine);
    CutOff(why);
    return true;
}

bool NntpConnection::TakeLine(std::string& line) {
    line.clear();
    return TakeLineAppending(line);
}

bool NntpConnection::ReadLine(std::string& line) {
    if (TakeLine(line)) {
        return true;
    }
    ReceiveBlock();
    return TakeLine(line);
}

std::optional<std::string> NntpConnection::TakeLine() {
    std::string line;
    return TakeLine(line) ? std::optional<std::string>(std::move(line)) : std::nullopt;
}

std::optional<std::string> NntpConnection::ReadLine() {
    std::string line;
    return ReadLine(line) ? std::optional<std::string>(std::move(line)) : std::nullopt;
}

void NntpConnection::SetTxRxLogName(const char* name) {
    txrxLogName_ = name ? name : "";
}

void NntpConnection::LogTraffic(const char* heading, const char* bytes, size_t count,
                                bool closingBlankLine) const {
    if (txrxLogName_.empty()) {
        return;
    }
    std::lock_guard<std::mutex> lock(trafficLogMutex);
    FILE* log = std::fopen(txrxLogName_.c_str(), "a");
    if (!log) {
        return;
    }
    std::fputs(heading, log);
    HexDump(log, reinterpret_cast<const unsigned char*>(bytes), count);
    if (closingBlankLine) {
        std::fputs("\n", log);
    }
    std::fclose(log);
}

void NntpConnection::ResetRate() {
    rateStart_ = now_();
    rateBytes_ = 0;
}

uint64_t NntpConnection::CurrentRate() const {
    int64_t elapsed = now_() - rateStart_;
    return elapsed <= 0 ? 0 : rateBytes_ / static_cast<uint64_t>(elapsed);
}

void NntpConnection::ThrottleBandwidth() {
    double limit = bandwidthLimit_.load();
    // Not a number, like 0 or less, is no limit.
    if (!(limit > 0)) {
        return;
    }
    int64_t elapsed = now_() - connectTime_;
    if (elapsed <= 0) {
        return;
    }
    double total = static_cast<double>(totalBytes_);
    if (total <= limit * static_cast<double>(elapsed)) {
        return;
    }
    // A limit of a tiny fraction of a byte a second asks for a pause beyond any integer.
    auto pause =
        static_cast<int64_t>(std::min((total / limit - static_cast<double>(elapsed)) * 1000.0, kMaxPauseMs));
    LogMessage("Actual bandwidth == %5.2lf b/s, should be %5.2lf b/s", total / static_cast<double>(elapsed),
               limit);
    LogMessage("Sleeping for %" PRId64 " milliseconds", pause);
    BandwidthPauseFlag.store(1);
    sleep_(pause);
    BandwidthPauseFlag.store(0);
}
