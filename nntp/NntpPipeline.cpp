#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>

#include "log/Log.h"
#include "nntp/NntpConnection.h"
#include "nntp/ReplyCode.h"

namespace {

// A guess of one line of an xhdr answer, for the bound on what is in flight.
constexpr size_t kXhdrLineBytes = 48;

// The code that starts the answer of `verb` when it is not a refusal; 0 when any code will do.
int ExpectedCode(const std::string& verb) {
    if (verb == "head" || verb == "xhdr") {
        return 221;
    }
    if (verb == "body") {
        return 222;
    }
    if (verb == "article") {
        return 220;
    }
    if (verb == "group") {
        return 211;
    }
    return 0;
}

std::string Verb(const std::string& command) {
    std::string verb = command.substr(0, command.find_first_of(" \r\n"));
    std::transform(verb.begin(), verb.end(), verb.begin(), [](unsigned char c) { return std::tolower(c); });
    return verb;
}

// The article number that follows the code or the verb; -1 when there is none.
int64_t NumberAfter(const std::string& text, size_t at) {
    if (at >= text.size()) {
        return -1;
    }
    const char* start = text.c_str() + at;
    char* end = nullptr;
    long long number = std::strtoll(start, &end, 10);
    return end == start ? -1 : number;
}

} // namespace

std::string NntpConnection::ArticleCommand(const char* verb, int64_t article) {
    char command[64];
    std::snprintf(command, sizeof command, "%s %" PRId64 "\r\n", verb, article);
    return command;
}

bool NntpConnection::AnswerFits(const std::string& command, const std::string& status) {
    int code = ReplyCode(status);
    if (code < 0) {
        return false;
    }
    if (code >= 400) {
        return true;
    }
    std::string verb = Verb(command);
    int expected = ExpectedCode(verb);
    if (expected == 0) {
        return true;
    }
    if (code != expected) {
        return false;
    }
    if (verb == "xhdr" || verb == "group") {
        return true;
    }
    // Some servers give 0 for an article they took by number; no number at all is no answer to this command.
    int64_t answered = NumberAfter(status, 3);
    return answered == 0 || (answered > 0 && answered == NumberAfter(command, verb.size()));
}

bool NntpConnection::RoomAhead(size_t answerBytes) const {
    if (!pipelining_ || link_ != Link::Open || bandwidthLimit_.load() > 0) {
        return false;
    }
    // The first command ahead always goes: it is the one the next answer belongs to.
    return ahead_.empty() ||
           (ahead_.size() < kMaxCommandsAhead && bytesAhead_ + answerBytes <= BytesAheadLimit());
}

size_t NntpConnection::BytesAheadLimit() const {
    // Enough to keep the line busy for a few round trips at the rate the bodies arrived at.
    double cover = 4.0 * bytesPerSecond_ * std::chrono::duration<double>(roundTrip_).count();
    return std::clamp(static_cast<size_t>(std::min(cover, static_cast<double>(kMaxBytesAhead))),
                      kMinBytesAhead, kMaxBytesAhead);
}

bool NntpConnection::SendAhead(const std::string& command, size_t answerBytes) {
    for (const Ahead& sent : ahead_) {
        if (sent.command == command) {
            return true;
        }
    }
    if (!RoomAhead(answerBytes)) {
        return false;
    }
    if (!SendText(command.c_str())) {
        return false;
    }
    ahead_.push_back({command, answerBytes});
    bytesAhead_ += answerBytes;
    return true;
}

bool NntpConnection::Issue(const std::string& command, bool& pipelined) {
    pipelined = false;
    if (!ahead_.empty() && ahead_.front().command == command) {
        bytesAhead_ -= ahead_.front().answerBytes;
        ahead_.pop_front();
        pipelined = true;
        return true;
    }
    if (!SkipAhead(true)) {
        return false;
    }
    return SendText(command.c_str()) != 0;
}

bool NntpConnection::SkipAhead(bool keepXhdr) {
    while (!ahead_.empty()) {
        std::string command = std::move(ahead_.front().command);
        bytesAhead_ -= ahead_.front().answerBytes;
        ahead_.pop_front();
        bool kept = keepXhdr && Verb(command) == "xhdr";
        if (!(kept ? KeepXhdrAnswer(command) : SkipAnswer(command))) {
            return false;
        }
    }
    return link_ == Link::Open;
}

bool NntpConnection::KeepXhdrAnswer(const std::string& command) {
    char field[16];
    long long first = 0, last = 0;
    if (std::sscanf(command.c_str(), "xhdr %15s %lld-%lld", field, &first, &last) != 3) {
        return SkipAnswer(command);
    }
    XhdrAnswer answer;
    int status = 0;
    answer.result =
        ReadXhdr(command, answer.entries, first, last, std::strcmp(field, "lines") == 0, false, status);
    if (link_ != Link::Open) {
        return false;
    }
    // A login asked for is not an answer: the command goes again in its turn.
    if (status != 480) {
        answer.refused = status / 10 == 50;
        xhdrAnswers_[command] = std::move(answer);
    }
    return true;
}

void NntpConnection::SendXhdrAhead(int64_t first, int64_t last, int64_t span) {
    // A server is asked for more only once it has shown it answers xhdr at all.
    if (!xhdrAnswered_) {
        return;
    }
    // Answers kept for ranges already behind are of no use any more.
    for (auto kept = xhdrAnswers_.begin(); kept != xhdrAnswers_.end();) {
        long long keptFirst = 0;
        bool behind = std::sscanf(kept->first.c_str(), "xhdr %*s %lld", &keptFirst) == 1 && keptFirst < first;
        kept = behind ? xhdrAnswers_.erase(kept) : std::next(kept);
    }
    const size_t answerBytes = static_cast<size_t>(span) * kXhdrLineBytes;
    for (int64_t from = first, to = last; from <= groupLast_ && from > 0;) {
        for (const char* field : {"lines", "subject"}) {
            std::string command = XhdrCommand(field, from, to);
            if (xhdrAnswers_.count(command) == 0 && !SendAhead(command, answerBytes)) {
                return;
            }
        }
        if (to >= groupLast_ || to > std::numeric_limits<int64_t>::max() - span) {
            return;
        }
        from = to + 1;
        to = from + span - 1;
    }
}

bool NntpConnection::SkipAnswer(const std::string& command) {
    std::optional<std::string> status = ReadStatus(Watch::ReplyTime);
    if (!status) {
        return false;
    }
    if (!AnswerFits(command, *status)) {
        AnsweredOutOfOrder();
        return false;
    }
    int code = ReplyCode(*status);
    if (code < 220 || code > 222) {
        return true;
    }
    size_t bytes = 0;
    std::string line;
    for (;;) {
        line.clear();
        if (!WaitLine(line, Watch::Download, kMaxAnswerLine)) {
            AbandonAnswer();
            return false;
        }
        if (line == ".\r\n" || line == ".\n") {
            return true;
        }
        bytes += line.size();
        if (bytes > kMaxArticleBytes) {
            char why[64];
            std::snprintf(why, sizeof why, "   Article larger than %zu MBytes", kMaxArticleBytes >> 20);
            CutOff(why);
            return false;
        }
    }
}

void NntpConnection::AnsweredOutOfOrder() {
    LogMessage("Server answered commands out of order - sending one command at a time");
    pipelining_ = false;
    CloseLink();
    DropUnread();
}

void NntpConnection::MeasureRoundTrip(std::chrono::steady_clock::time_point sent) {
    auto taken = std::chrono::steady_clock::now() - sent;
    if (roundTrip_ == std::chrono::steady_clock::duration{} || taken < roundTrip_) {
        roundTrip_ = taken;
    }
}

void NntpConnection::MeasureRate(size_t bytes, std::chrono::steady_clock::time_point started) {
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (seconds > 0) {
        double rate = static_cast<double>(bytes) / seconds;
        bytesPerSecond_ = bytesPerSecond_ == 0 ? rate : (bytesPerSecond_ + rate) / 2;
    }
}
