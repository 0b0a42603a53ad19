#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/ByteRing.h"
#include "common/OwnedPtrArray.h"
#include "nntp/Flags.h"
#include "nntp/GroupListProgress.h"
#include "nntp/GroupStatus.h"
#include "nntp/HeaderCacheEntry.h"
#include "nntp/NntpPeer.h"
#include "platform/Socket.h"

// One TCP connection to one news server, used by one thread at a time. The transport (connecting, sending,
// receiving, lines, rate meter and bandwidth limiter) lives in NntpConnection.cpp, the NNTP commands with
// the header-summary caches and the stored login in NntpCommands.cpp.
class NntpConnection {
  public:
    static constexpr int kConnectTimeoutMs = 15000;
    static constexpr int kGreetingTimeoutMs = 30000;
    static constexpr int kReceiveWaitMs = 1000;
    static constexpr int kSendTimeoutMs = 30000;
    static constexpr size_t kReceiveBlockSize = 8192; // a receive while the traffic log is on
    static constexpr size_t kLargeReceiveSize = 262144;
    // What a server may send, far beyond any real answer. A server that goes past a bound is cut off (the
    // connection is closed) instead of being followed into memory it has no business filling.
    static constexpr size_t kMaxStatusLine = 1024; // RFC 3977 allows 512 bytes with the line end
    static constexpr size_t kMaxAnswerLine = size_t{8} << 20;
    static constexpr size_t kMaxArticleBytes = size_t{16} << 20;
    static constexpr size_t kMaxGroupListBytes = size_t{32} << 20; // some 100,000 groups take 8 MiB

    // Whole seconds since 1970, and a pause of some milliseconds: replaceable so tests need not wait.
    using SecondsClock = std::function<int64_t()>;
    using Sleeper = std::function<void(int64_t milliseconds)>;

    // `address` is "host", "host:port" or "[v6addr]:port"; empty means "localhost". The name is looked up
    // here; nothing is connected.
    explicit NntpConnection(const std::string& address = "");
    // As above; sets `constructed` to 1 once construction has finished.
    NntpConnection(const std::string& address, int& constructed);
    // A connection whose far end is `peer`, a server inside this process that `hostName` stands for.
    NntpConnection(NntpPeer& peer, const std::string& hostName);
    ~NntpConnection();
    NntpConnection(const NntpConnection&) = delete;
    NntpConnection& operator=(const NntpConnection&) = delete;

    // ---- Transport ----

    // 0: no connection or no greeting line in time; 1: connected (whatever the greeting code, except 400);
    // 2: the greeting code was 400.
    int Connect();
    int Disconnect();
    // True once the connection was closed (by Disconnect, by the server or by a broken link).
    bool IsDisconnected() const { return link_ == Link::Closed; }

    int SendBytes(const char* bytes, size_t count);
    int SendText(const char* text);
    // 1 when bytes arrived; 0 on a time-out (about a second, no traffic entry), a close or an error.
    int ReceiveBlock();
    // One complete line (up to and including its LF) out of what has been received, without receiving.
    std::optional<std::string> TakeLine();
    // TakeLine, else one ReceiveBlock and TakeLine again.
    std::optional<std::string> ReadLine();
    // The same, replacing the contents of `line` (its storage is reused); false when no line is complete.
    bool TakeLine(std::string& line);
    bool ReadLine(std::string& line);

    void SetTxRxLogName(const char* name);

    void ResetRate();
    uint64_t CurrentRate() const;
    // May be called from another thread while the connection is in use.
    void SetBandwidthLimit(double bytesPerSecond) { bandwidthLimit_.store(bytesPerSecond); }
    // Pauses before a command while the average rate since Connect is above the limit.
    void ThrottleBandwidth();

    void SetClock(SecondsClock now, Sleeper sleep);
    void SetGreetingTimeout(int milliseconds) { greetingTimeoutMs_ = milliseconds; }

    // The last greeting line read by Connect, without its line end.
    const std::string& Greeting() const { return greeting_; }
    const std::string& HostName() const { return hostName_; }
    uint16_t Port() const { return port_; }

    // ---- Commands ----

    static constexpr size_t kMaxLoginField = 79;
    static constexpr int kMaxHeaderCacheSize = 5000;
    static constexpr int kReplyTimeoutMs = 30000;

    // Called by FetchBody every 100 lines (also while waiting) with KiB/s, percent done and lines read;
    // returning 0 stops the fetch.
    using BodyProgress = std::function<int(float kibPerSecond, int percent, long linesRead)>;

    // "head 12\r\n", say: the command for one article by number.
    static std::string ArticleCommand(const char* verb, int64_t article);
    // Whether `status` can be the answer to `command`: the code it must have and the article asked for, or a
    // refusal.
    static bool AnswerFits(const std::string& command, const std::string& status);

    // Sends a command and returns its status line; after a "480" logs in again and repeats it once.
    std::optional<std::string> SendCommand(const std::string& command);
    // Stores the login for Relogin, then sends it: 1 when the server accepted it.
    int Login(const std::string& user, const std::string& password);
    int Relogin();
    std::unique_ptr<GroupStatus> SelectGroup(const std::string& name);
    bool XhdrUsable() const { return xhdrRefused_ != 1; }
    // "Lines: %d\r\nSubject: %s\r\n" from the xhdr caches, or the full head when the server refuses xhdr.
    std::optional<std::string> FetchHeaderSummary(int64_t article);
    std::optional<std::string> FetchHeaderSummaryCached(int64_t article);
    // Entries for the articles of first..last the server listed; -1 when there are none.
    int XhdrLines(std::vector<HeaderCacheEntry>& scratch, int64_t first, int64_t last);
    int XhdrSubject(std::vector<HeaderCacheEntry>& scratch, int64_t first, int64_t last);
    std::optional<std::string> FetchHead(int64_t article);
    // The body is appended to `prefix` (an article's head, say), so a whole article is built without another
    // copy; without a body the result is empty.
    std::optional<std::string> FetchBody(int64_t article, long expectedLines, const BodyProgress& progress,
                                         std::string prefix = {});
    // Group lines of "list" (no date) or "newgroups DATE"; `progress`, when given, follows each stored line.
    long FetchGroupList(std::vector<std::string>& lines, GroupListProgress* progress, const char* date);
    // A negative size counts as 0; one refill never covers more than the articles a group's visit looks at,
    // so a hand-edited size cannot make the caches take gigabytes.
    void SetHeaderCacheSize(int size) { headerCacheSize_ = std::clamp(size, 0, kMaxHeaderCacheSize); }

    // ---- Pipelining ----

    // Commands sent before their turn, and the answer bytes they are guessed to bring, are bounded by these
    // and by what covers the round trip at the measured rate.
    static constexpr size_t kMaxCommandsAhead = 128;
    static constexpr size_t kMinBytesAhead = size_t{64} << 10;
    static constexpr size_t kMaxBytesAhead = size_t{16} << 20;

    // Sends `command` now, ahead of its turn, when that is allowed and within the bounds; its answer is read
    // when the same command is issued in turn. An answer whose command is never issued is read and dropped
    // before the next command that is. False when nothing was sent.
    bool SendAhead(const std::string& command, size_t answerBytes);
    // Whether a command bringing about `answerBytes` fits in what may be in flight now.
    bool RoomAhead(size_t answerBytes) const;
    // Off: every command waits for the answer before it (and after a server answered out of order).
    void SetPipelining(bool on) { pipelining_ = on; }
    bool Pipelining() const { return pipelining_; }
    // The summary of `article` when the caches hold it, without asking the server.
    std::optional<std::string> CachedHeaderSummary(int64_t article);

  private:
    // Which flag ends a wait for the rest of an answer.
    enum class Watch { Download, GroupList, ReplyTime };

    // Appends the next complete line to `out`, receiving as needed; false when the connection closed,
    // the watched flag says stop, (ReplyTime) no line came within kReplyTimeoutMs, or the line is longer
    // than `maxLine`.
    bool WaitLine(std::string& out, Watch watch, size_t maxLine);
    bool TakeLineAppending(std::string& out);
    // TakeLineAppending; a line longer than `maxLine`, whole or still arriving, cuts the server off.
    bool TakeLineWithin(std::string& out, size_t maxLine);
    // Cuts the server off when a line of `length` bytes is longer than `maxLine`.
    bool LineTooLong(size_t length, size_t maxLine);
    // Logs why (one line, without its end), then closes the connection and drops what it still holds.
    void CutOff(const char* why);
    void DropUnread();
    // Appends every complete line received so far to `out` in one piece.
    bool TakeCompleteLines(std::string& out);
    // Puts text[from...] back in front of what is still unread.
    void ReturnToRing(const std::string& text, size_t from);
    std::optional<std::string> ReadStatus(Watch watch);
    // An answer was given up half-way: what is left of it must never pass for the next reply.
    void AbandonAnswer();
    // Puts `command` in flight: taken from the commands sent ahead when it is the next of them, else sent
    // after the answers of those are read and dropped. `pipelined` tells whether other answers share the
    // link.
    bool Issue(const std::string& command, bool& pipelined);
    bool Issue(const std::string& command) {
        bool pipelined = false;
        return Issue(command, pipelined);
    }
    // Reads and drops the answers of every command sent ahead; false when the link was lost on the way.
    // Answers of xhdr commands are kept for their turn when `keepXhdr`, since the commands sent ahead after
    // them do not make them any less wanted.
    bool SkipAhead(bool keepXhdr = false);
    bool SkipAnswer(const std::string& command);
    // A server whose answer does not belong to the command it must answer cannot be trusted on this link.
    void AnsweredOutOfOrder();
    void MeasureRoundTrip(std::chrono::steady_clock::time_point sent);
    void MeasureRate(size_t bytes, std::chrono::steady_clock::time_point started);
    size_t BytesAheadLimit() const;
    int Xhdr(const char* field, std::vector<HeaderCacheEntry>& scratch, int64_t first, int64_t last,
             bool numbers);
    static std::string XhdrCommand(const char* field, int64_t first, int64_t last);
    // Reads the answer of an xhdr command; `status` is the code of its last status line. After a 480 it logs
    // in again and repeats the command once, when `mayLogInAgain`.
    int ReadXhdr(const std::string& command, std::vector<HeaderCacheEntry>& scratch, int64_t first,
                 int64_t last, bool numbers, bool mayLogInAgain, int& status);
    // Sends the two xhdr commands of first..last and of the blocks of `span` articles after it, up to the
    // group's last article, as far as the bounds on what is in flight allow, once xhdr has been answered.
    void SendXhdrAhead(int64_t first, int64_t last, int64_t span);
    // Reads the answer of an xhdr command sent ahead and keeps it for its turn; false when the link was lost.
    bool KeepXhdrAnswer(const std::string& command);
    std::optional<std::string> FetchText(const char* verb, int64_t article, long expectedLines,
                                         const BodyProgress* progress, std::string text = {});
    std::optional<std::string> CachedSummary(int64_t article);
    // The summary of an article of the next block from xhdr answers kept for their turn.
    std::optional<std::string> EarlySummary(int64_t article);
    enum class Link { Unused, Open, Closed };

    void CloseLink();
    // One traffic-log entry: the heading, the dump of `count` bytes, then a blank line if asked for.
    void LogTraffic(const char* heading, const char* bytes, size_t count, bool closingBlankLine) const;

    // ---- Transport state ----
    std::string txrxLogName_; // empty: no traffic log
    TcpSocket socket_;
    NntpPeer* peer_ = nullptr; // not owned; when set, the socket is not used
    Link link_ = Link::Unused;
    uint16_t port_ = 119;
    std::string hostName_;
    std::optional<SocketAddress> serverAddress_;
    std::string greeting_;
    ByteRing ring_;
    size_t scannedWithoutLineEnd_ = 0; // bytes at the ring's head already known to hold no LF
    uint64_t rateBytes_ = 0;
    int64_t rateStart_ = 0;
    int64_t connectTime_ = 0;
    uint64_t totalBytes_ = 0;
    std::atomic<double> bandwidthLimit_{0.0};
    int greetingTimeoutMs_ = kGreetingTimeoutMs;
    SecondsClock now_;
    Sleeper sleep_;

    // ---- Command state ----
    int xhdrRefused_ = 0;
    int headerCacheSize_ = 16;
    int64_t cachedFirst_ = -1;
    int64_t cachedLast_ = -1;
    uint32_t cacheSpan_ = 0; // entries filled by the last refill
    OwnedPtrArray<HeaderCacheEntry> linesCache_;
    OwnedPtrArray<HeaderCacheEntry> subjectCache_;
    std::string user_;
    std::string password_;

    // ---- Pipelining state ----
    struct Ahead {
        std::string command;
        size_t answerBytes;
    };
    bool pipelining_ = PipelineCommands.load();
    std::deque<Ahead> ahead_;
    size_t bytesAhead_ = 0;
    struct XhdrAnswer {
        int result = -1;
        std::vector<HeaderCacheEntry> entries;
        bool refused = false; // xhdr itself refused: the summaries come from heads from then on
    };
    std::map<std::string, XhdrAnswer> xhdrAnswers_; // by command, answered before their turn
    int64_t groupLast_ = -1;
    bool xhdrAnswered_ = false; // on this connection
    std::chrono::steady_clock::duration roundTrip_{};
    double bytesPerSecond_ = 0;
};
