// The NNTP reply readers driven through a scripted exchange (greeting, group, xhdr, head, body, list and
// newgroups, again and again) with the input as everything the server says. The input is an options byte,
// then the server's answers in order, one per command, separated by "\n%%\n". Within an answer,
// "\x02UNIT\x03N" stands for UNIT sent 2^N times (up to 256 MiB), so the bounds on what a server may send are
// reached. Properties: what a reader returns comes from its own command's answer, memory held after each step
// stays bounded, and no reader goes on waiting once the server has gone silent and the run is stopped.
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/support/FuzzFile.h"
#include "nntp/Flags.h"
#include "nntp/NntpConnection.h"

extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace {

constexpr std::string_view kSeparator = "\n%%\n";
constexpr uint64_t kMaxRepeated = uint64_t{256} << 20;
// Far above anything one step may keep (a group list at its bound), far below a repeated answer kept whole.
constexpr size_t kMaxHeldBytes = size_t{96} << 20;
// Receives a reader may still ask for after the run was stopped.
constexpr int kPatience = 4;

size_t HeapInUse() {
    if (__sanitizer_get_current_allocated_bytes) {
        return __sanitizer_get_current_allocated_bytes();
    }
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// One answer of the server: a prefix, a unit repeated some times, a suffix.
class Answer {
  public:
    explicit Answer(std::string_view text) : prefix_(text) {
        size_t open = text.find('\x02');
        size_t close = open == std::string_view::npos ? open : text.find('\x03', open + 1);
        if (close == std::string_view::npos || close + 1 >= text.size() || close == open + 1) {
            return;
        }
        prefix_ = text.substr(0, open);
        suffix_ = text.substr(close + 2);
        std::string_view unit = text.substr(open + 1, close - open - 1);
        uint64_t repeats = uint64_t{1} << (static_cast<unsigned char>(text[close + 1]) % 29);
        repeated_ = std::min(repeats, kMaxRepeated / unit.size()) * unit.size();
        // Whole copies of the unit, enough to fill a receive in few pieces.
        while (block_.size() < 4096) {
            block_ += unit;
        }
    }

    uint64_t size() const { return prefix_.size() + repeated_ + suffix_.size(); }
    bool Repeating(uint64_t offset) const {
        return offset >= prefix_.size() && offset < prefix_.size() + repeated_;
    }
    // The whole text, when nothing in it is repeated.
    std::optional<std::string_view> plain() const {
        return repeated_ == 0 ? std::optional<std::string_view>(prefix_) : std::nullopt;
    }

    // Copies `count` bytes from `offset` on.
    void Copy(uint64_t offset, char* out, size_t count) const {
        while (count > 0) {
            std::string_view part = suffix_;
            uint64_t at = offset - prefix_.size() - repeated_;
            if (offset < prefix_.size()) {
                part = prefix_;
                at = offset;
            } else if (offset < prefix_.size() + repeated_) {
                part = block_;
                at = (offset - prefix_.size()) % block_.size();
                part = part.substr(
                    0, at + std::min<uint64_t>(block_.size() - at, prefix_.size() + repeated_ - offset));
            }
            size_t n = std::min<size_t>(count, part.size() - at);
            std::memcpy(out, part.data() + at, n);
            out += n;
            offset += n;
            count -= n;
        }
    }

  private:
    std::string_view prefix_, suffix_;
    std::string block_;
    uint64_t repeated_ = 0;
};

// The server's side: each command sent (and each connect) starts the next answer; what was left unsent of the
// one before is dropped. An answer goes out in pieces of the chosen size; past its end the server either
// closes or goes silent, and then the run is stopped as the user or the watchdog would stop it.
class ScriptedServer : public NntpPeer {
  public:
    ScriptedServer(std::vector<Answer> answers, size_t piece, bool closeAtEnd)
        : answers_(std::move(answers)), piece_(piece), closeAtEnd_(closeAtEnd), heapBefore_(HeapInUse()) {}

    // Memory taken since the exchange began, while a reader reads or holds its result.
    void CheckHeld() const {
        size_t held = HeapInUse();
        FuzzCheck(held < heapBefore_ || held - heapBefore_ < kMaxHeldBytes, "a reader holds too much memory");
    }

    bool Exhausted() const { return next_ >= answers_.size(); }
    // The answer being sent, when it is one whose text is all there.
    const Answer* Current() const { return current_; }

    void NextAnswer() {
        current_ = next_ < answers_.size() ? &answers_[next_++] : nullptr;
        sent_ = 0;
        silentReceives_ = 0;
    }

    size_t Send(const char*, size_t count) override {
        NextAnswer();
        return count;
    }

    ReceiveResult Receive(char* buffer, size_t capacity) override {
        if (!current_ || sent_ == current_->size()) {
            if (closeAtEnd_) {
                return {ReceiveStatus::Closed, 0};
            }
            DownloadRunning.store(0);
            GroupListCancel.store(1);
            FuzzCheck(++silentReceives_ <= kPatience, "a reader goes on waiting after the run was stopped");
            return {ReceiveStatus::TimedOut, 0};
        }
        // Repeated bytes go in large pieces, and memory is watched while they arrive: what they test is how
        // much a reader takes, not where lines break.
        bool repeating = current_->Repeating(sent_);
        if (repeating) {
            CheckHeld();
        }
        size_t piece = repeating ? NntpConnection::kLargeReceiveSize : piece_;
        size_t count = static_cast<size_t>(std::min<uint64_t>({capacity, piece, current_->size() - sent_}));
        current_->Copy(sent_, buffer, count);
        sent_ += count;
        return {ReceiveStatus::Data, count};
    }

  private:
    std::vector<Answer> answers_;
    size_t piece_;
    bool closeAtEnd_;
    size_t next_ = 0;
    const Answer* current_ = nullptr;
    uint64_t sent_ = 0;
    int silentReceives_ = 0;
    const size_t heapBefore_;
};

struct Options {
    size_t piece;
    int headerCacheSize;
    bool closeAtEnd;
    bool stopBody;

    explicit Options(uint8_t byte) {
        static constexpr size_t kPieces[] = {1,   3,    17,    100,
                                             512, 4096, 65536, NntpConnection::kLargeReceiveSize};
        static constexpr int kCacheSizes[] = {16, 3, 1, 0};
        piece = kPieces[byte & 7];
        headerCacheSize = kCacheSizes[(byte >> 3) & 3];
        closeAtEnd = (byte & 0x20) != 0;
        stopBody = (byte & 0x40) != 0;
    }
};

class Exchange {
  public:
    Exchange(ScriptedServer& server, const Options& options)
        : server_(server), options_(options), connection_(server, "news.example.com") {
        connection_.Login("reader", "secret"); // stored for the log-in a server may ask for
    }

    void Step(int step) {
        DownloadRunning.store(1);
        GroupListCancel.store(0);
        bool connected = connected_ && !connection_.IsDisconnected();
        if (connected && step > 0) {
            Command(step);
        } else if (!connected) {
            server_.NextAnswer();
            connected_ = connection_.Connect() == 1;
        }
    }

  private:
    void Command(int step) {
        connection_.SetHeaderCacheSize(options_.headerCacheSize);
        switch (step) {
        case 1:
            if (std::unique_ptr<GroupStatus> status = connection_.SelectGroup("alt.binaries.test")) {
                FuzzCheck(status->first() >= 0 && status->last() >= 0, "a negative article number was taken");
            }
            break;
        case 2:
        case 3:
            Summary(step == 2 ? 10 : 11);
            break;
        case 4: {
            std::vector<HeaderCacheEntry> subjects;
            connection_.XhdrSubject(subjects, 1, 5);
            for (const HeaderCacheEntry& subject : subjects) {
                FuzzCheck(subject.articleNumber() >= 1 && subject.articleNumber() <= 5,
                          "an xhdr answer kept an article that was not asked for");
                CheckOwnAnswer(subject.text());
            }
            CheckHeld();
            break;
        }
        case 5:
            Text(connection_.FetchHead(10));
            break;
        case 6:
            Text(connection_.FetchBody(10, expectedLines_, [this](float, int, long linesRead) {
                return options_.stopBody && linesRead >= 100 ? 0 : 1;
            }));
            break;
        default: {
            std::vector<std::string> lines;
            connection_.FetchGroupList(lines, nullptr, step == 7 ? nullptr : "260101 120000");
            for (const std::string& line : lines) {
                CheckOwnAnswer(line);
            }
            CheckHeld();
        }
        }
    }

    void Summary(int64_t article) {
        if (std::optional<std::string> summary = connection_.FetchHeaderSummary(article)) {
            size_t lines = summary->find("Lines: ");
            long value =
                lines == std::string::npos ? 0 : std::strtol(summary->c_str() + lines + 7, nullptr, 10);
            expectedLines_ = std::clamp(value, 1L, 19999L); // as the download culls it
        }
    }

    void Text(const std::optional<std::string>& text) {
        if (text) {
            CheckOwnAnswer(*text);
        }
        CheckHeld();
    }

    // Every line of `text`, a reader's result, must be part of the answer to the reader's own command.
    void CheckOwnAnswer(const std::string& text) const {
        const Answer* answer = server_.Current();
        std::optional<std::string_view> answerText = answer ? answer->plain() : std::nullopt;
        if (!answerText) {
            return;
        }
        for (size_t start = 0; start < text.size();) {
            size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
            FuzzCheck(answerText->find(std::string_view(text).substr(start, end - start)) !=
                          std::string_view::npos,
                      "a reader returned what was not in its own command's answer");
            start = end;
        }
    }

    // Called while a reader's result is still held.
    void CheckHeld() const { server_.CheckHeld(); }

    ScriptedServer& server_;
    const Options& options_;
    NntpConnection connection_;
    bool connected_ = false;
    long expectedLines_ = 100;
};

std::vector<Answer> Answers(std::string_view input) {
    std::vector<Answer> answers;
    for (;;) {
        size_t end = input.find(kSeparator);
        answers.emplace_back(input.substr(0, end));
        if (end == std::string_view::npos) {
            return answers;
        }
        input.remove_prefix(end + kSeparator.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const Options options(data[0]);
    {
        ScriptedServer server(Answers(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1)),
                              options.piece, options.closeAtEnd);
        Exchange exchange(server, options);
        constexpr int kSteps =
            9; // a connect, then group, xhdr lines and subject, head, body, list, newgroups
        for (int step = 0; !server.Exhausted(); step = (step + 1) % kSteps) {
            exchange.Step(step);
        }
    }
    DownloadRunning.store(0);
    GroupListCancel.store(0);
    return 0;
}
