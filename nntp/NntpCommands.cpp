#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "log/Log.h"
#include "nntp/NntpConnection.h"
#include "nntp/ReplyCode.h"

namespace {

// Text that goes into a command line must not be able to end it or start another one.
bool FitsInCommand(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// Cuts a line at its first CR and at its first LF.
void CutLineEnd(std::string& line) {
    line.erase(std::min(line.find('\r'), line.find('\n')));
}

// The three numbers after the code of a group reply. Article numbers are never negative, and a number
// beyond 64 bits is no article number at all.
bool GroupNumbers(const std::string& reply, int64_t (&numbers)[3]) {
    const char* at = reply.c_str() + 3;
    for (int64_t& number : numbers) {
        char* end = nullptr;
        errno = 0;
        long long value = std::strtoll(at, &end, 10);
        if (end == at || errno == ERANGE || value < 0) {
            return false;
        }
        number = value;
        at = end;
    }
    return true;
}

bool IsGroupLineCharacter(unsigned char c) {
    return std::isalnum(c) || c == ' ' || c == '-' || c == '.' || c == '_';
}

} // namespace

bool NntpConnection::WaitLine(std::string& out, Watch watch, size_t maxLine) {
    bool downloadWasRunning = DownloadRunning.load() != 0;
    bool listWasCancelled = GroupListCancel.load() != 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
    for (;;) {
        if (TakeLineWithin(out, maxLine)) {
            return true;
        }
        if (link_ != Link::Open) {
            return false;
        }
        ReceiveBlock();
        if (TakeLineWithin(out, maxLine)) {
            return true;
        }
        if (link_ != Link::Open) {
            return false;
        }
        switch (watch) {
        case Watch::Download:
            if (DownloadRunning.load() == 0) {
                return false;
            }
            break;
        case Watch::GroupList:
            if (GroupListCancel.load() != 0) {
                return false;
            }
            break;
        case Watch::ReplyTime:
            if (std::chrono::steady_clock::now() >= deadline ||
                (downloadWasRunning && DownloadRunning.load() == 0) ||
                (!listWasCancelled && GroupListCancel.load() != 0)) {
                return false;
            }
            break;
        }
    }
}

std::optional<std::string> NntpConnection::ReadStatus(Watch watch) {
    std::string line;
    if (WaitLine(line, watch, kMaxStatusLine)) {
        return line;
    }
    AbandonAnswer();
    return std::nullopt;
}

void NntpConnection::AbandonAnswer() {
    if (link_ == Link::Open) {
        Disconnect();
    }
}

std::optional<std::string> NntpConnection::SendCommand(const std::string& command) {
    auto sent = std::chrono::steady_clock::now();
    bool pipelined = false;
    Issue(command, pipelined);
    std::optional<std::string> status = ReadStatus(Watch::ReplyTime);
    if (status && pipelined && !AnswerFits(command, *status)) {
        AnsweredOutOfOrder();
        return std::nullopt;
    }
    if (status && !pipelined) {
        MeasureRoundTrip(sent);
    }
    if (status && ReplyCode(*status) == 480) {
        Relogin();
        SendText(command.c_str());
        status = ReadStatus(Watch::ReplyTime);
    }
    return status;
}

int NntpConnection::Login(const std::string& user, const std::string& password) {
    user_ = user;
    password_ = password;
    if (link_ != Link::Open || user.empty() || password.empty()) {
        return 0;
    }
    // Over-long or multi-line values are refused rather than cut: a cut password would be a wrong one.
    if (user.size() > kMaxLoginField || password.size() > kMaxLoginField || !FitsInCommand(user) ||
        !FitsInCommand(password)) {
        return 0;
    }
    if (!SendText(("authinfo user " + user + "\r\n").c_str())) {
        return 0;
    }
    std::optional<std::string> reply = ReadStatus(Watch::ReplyTime);
    if (!reply || link_ != Link::Open || ReplyCode(*reply) != 381) {
        return 0;
    }
    int sent = SendText(("authinfo pass " + password + "\r\n").c_str());
    reply = ReadStatus(Watch::ReplyTime);
    return sent && reply && (*reply)[0] == '2' ? 1 : 0;
}

int NntpConnection::Relogin() {
    // What was sent ahead is answered before the login, most likely with 480 as well: it goes again later.
    SkipAhead();
    std::string user = user_;
    std::string password = password_;
    return Login(user, password);
}

std::unique_ptr<GroupStatus> NntpConnection::SelectGroup(const std::string& name) {
    ThrottleBandwidth();
    cachedFirst_ = cachedLast_ = -1;
    xhdrAnswers_.clear();
    groupLast_ = -1;
    if (link_ != Link::Open || name.empty() || !FitsInCommand(name)) {
        return nullptr;
    }
    std::optional<std::string> reply = SendCommand("group " + name + "\r\n");
    if (!reply) {
        return nullptr;
    }
    int code = ReplyCode(*reply);
    if (code == 400) {
        LogMessage("Server has answered, but is not ready...");
        return nullptr;
    }
    int64_t numbers[3]; // count, first, last
    if (code != 211 || !GroupNumbers(*reply, numbers)) {
        return nullptr;
    }
    groupLast_ = numbers[2];
    return std::make_unique<GroupStatus>(hostName_, name, numbers[0], numbers[1], numbers[2]);
}

int NntpConnection::XhdrLines(std::vector<HeaderCacheEntry>& scratch, int64_t first, int64_t last) {
    cachedFirst_ = first;
    cachedLast_ = last;
    return Xhdr("lines", scratch, first, last, true);
}

int NntpConnection::XhdrSubject(std::vector<HeaderCacheEntry>& scratch, int64_t first, int64_t last) {
    return Xhdr("subject", scratch, first, last, false);
}

int NntpConnection::Xhdr(const char* field, std::vector<HeaderCacheEntry>& scratch, int64_t first,
                         int64_t last, bool numbers) {
    ThrottleBandwidth();
    scratch.clear();
    if (link_ != Link::Open) {
        return -1;
    }
    std::string command = XhdrCommand(field, first, last);
    auto early = xhdrAnswers_.find(command);
    if (early != xhdrAnswers_.end()) {
        // Its answer arrived ahead of its turn; a refusal takes effect now, as it would have when asked.
        XhdrAnswer answer = std::move(early->second);
        xhdrAnswers_.erase(early);
        scratch = std::move(answer.entries);
        if (answer.refused) {
            xhdrRefused_ = 1;
        }
        return answer.result;
    }
    if (!Issue(command) && !numbers) {
        return -1;
    }
    int status = 0;
    int result = ReadXhdr(command, scratch, first, last, numbers, true, status);
    if (status / 10 == 50) {
        xhdrRefused_ = 1;
    }
    return result;
}

std::string NntpConnection::XhdrCommand(const char* field, int64_t first, int64_t last) {
    char command[96];
    std::snprintf(command, sizeof command, "xhdr %s %" PRId64 "-%" PRId64 "\r\n", field, first, last);
    return command;
}

int NntpConnection::ReadXhdr(const std::string& command, std::vector<HeaderCacheEntry>& scratch,
                             int64_t first, int64_t last, bool numbers, bool mayLogInAgain, int& status) {
    // A server lists each article of the range at most once; an answer that goes on beyond that is not one.
    const uint64_t articles = static_cast<uint64_t>(last) - static_cast<uint64_t>(first) + 1;
    uint64_t dataLines = 0;
    bool inData = false;
    bool complete = false;
    bool loggedInAgain = !mayLogInAgain;
    std::string line;
    while (!complete) {
        line.clear();
        if (!WaitLine(line, inData ? Watch::Download : Watch::ReplyTime,
                      inData ? kMaxAnswerLine : kMaxStatusLine)) {
            AbandonAnswer();
            return -1;
        }
        CutLineEnd(line);
        if (inData) {
            if (line.compare(0, 2, "..") == 0) {
                line.erase(0, 1);
            } else if (line[0] == '.') {
                complete = true;
                continue;
            }
            if (++dataLines > articles) {
                CutOff("Server sent more header lines than articles asked for");
                return -1;
            }
            size_t blank = line.find(' ');
            if (line.size() <= 2 || blank == std::string::npos) {
                continue;
            }
            int64_t article = std::strtoll(line.c_str(), nullptr, 10);
            // Only the articles asked for are kept, so a confused server cannot fill memory.
            if (article < first || article > last) {
                continue;
            }
            scratch.emplace_back();
            if (numbers) {
                scratch.back().assignNumber(article, std::strtoll(line.c_str() + blank + 1, nullptr, 10));
            } else {
                scratch.back().assignText(article, line.substr(blank + 1));
            }
            continue;
        }
        int code = ReplyCode(line);
        status = code;
        if (code == 221) {
            inData = true;
            xhdrAnswered_ = true;
        } else if (code == 480 && !loggedInAgain) {
            loggedInAgain = true;
            Relogin();
            SendText(command.c_str());
        } else {
            return -1;
        }
    }
    return scratch.empty() ? -1 : static_cast<int>(scratch.size());
}

std::optional<std::string> NntpConnection::FetchHeaderSummary(int64_t article) {
    if (xhdrRefused_ != 1) {
        std::optional<std::string> summary = FetchHeaderSummaryCached(article);
        if (summary || xhdrRefused_ != 1) {
            return summary;
        }
    }
    return FetchHead(article);
}

std::optional<std::string> NntpConnection::FetchHeaderSummaryCached(int64_t article) {
    bool singleArticle = headerCacheSize_ < 2;
    if (!singleArticle && cachedFirst_ != -1 && article >= cachedFirst_ && article <= cachedLast_) {
        return CachedSummary(article);
    }
    // The range stops at the highest article number there can be.
    int64_t span = singleArticle ? 0 : headerCacheSize_ - 1;
    int64_t last = article > std::numeric_limits<int64_t>::max() - span ? std::numeric_limits<int64_t>::max()
                                                                        : article + span;
    SendXhdrAhead(article, last, span + 1);
    std::vector<HeaderCacheEntry> lines, subjects;
    if (XhdrLines(lines, article, last) == -1) {
        // A server that answered with no article keeps the range answered (as empty), so a stretch of
        // missing articles costs one exchange; a refusal or a lost link leaves nothing cached.
        if (link_ != Link::Open || xhdrRefused_ == 1) {
            cachedFirst_ = cachedLast_ = -1;
            return std::nullopt;
        }
    } else if (XhdrSubject(subjects, article, last) == -1) {
        cachedFirst_ = cachedLast_ = -1;
        return std::nullopt;
    }
    cacheSpan_ = singleArticle ? 1 : static_cast<uint32_t>(headerCacheSize_);
    for (uint32_t i = 0; i < cacheSpan_; ++i) {
        linesCache_[i] = i < lines.size() ? lines[i] : HeaderCacheEntry();
        // Servers leave different articles out of the two answers (no Lines header, no Subject), so the
        // subject is looked up by article number rather than by position.
        subjectCache_[i] = HeaderCacheEntry();
        for (const HeaderCacheEntry& subject : subjects) {
            if (linesCache_[i].articleNumber() != 0 &&
                subject.articleNumber() == linesCache_[i].articleNumber()) {
                subjectCache_[i] = subject;
                break;
            }
        }
    }
    std::optional<std::string> summary = CachedSummary(article);
    if (singleArticle) {
        cachedFirst_ = cachedLast_ = -1;
    }
    return summary;
}

std::optional<std::string> NntpConnection::CachedHeaderSummary(int64_t article) {
    if (headerCacheSize_ < 2 || cachedFirst_ == -1 || article < cachedFirst_) {
        return std::nullopt;
    }
    if (article <= cachedLast_) {
        return CachedSummary(article);
    }
    return EarlySummary(article);
}

std::optional<std::string> NntpConnection::EarlySummary(int64_t article) {
    // Only the block right after the cached one, whose answers may have come in ahead of their turn.
    int64_t first = cachedLast_ + 1;
    if (cachedLast_ == std::numeric_limits<int64_t>::max() || article - first >= headerCacheSize_) {
        return std::nullopt;
    }
    int64_t last = first > std::numeric_limits<int64_t>::max() - (headerCacheSize_ - 1)
                       ? std::numeric_limits<int64_t>::max()
                       : first + headerCacheSize_ - 1;
    auto lines = xhdrAnswers_.find(XhdrCommand("lines", first, last));
    auto subjects = xhdrAnswers_.find(XhdrCommand("subject", first, last));
    if (lines == xhdrAnswers_.end() || subjects == xhdrAnswers_.end()) {
        return std::nullopt;
    }
    for (const HeaderCacheEntry& entry : lines->second.entries) {
        if (entry.articleNumber() != article) {
            continue;
        }
        std::string subject;
        for (const HeaderCacheEntry& candidate : subjects->second.entries) {
            if (candidate.articleNumber() == article) {
                subject = candidate.text();
                break;
            }
        }
        return "Lines: " + std::to_string(entry.number()) + "\r\nSubject: " + subject + "\r\n";
    }
    return std::nullopt;
}

std::optional<std::string> NntpConnection::CachedSummary(int64_t article) {
    if (cacheSpan_ == 0 || linesCache_[0].articleNumber() == 0) {
        return std::nullopt;
    }
    for (uint32_t i = 0; i < cacheSpan_; ++i) {
        if (linesCache_[i].articleNumber() == article) {
            char lines[32];
            std::snprintf(lines, sizeof lines, "%" PRId64, linesCache_[i].number());
            return "Lines: " + std::string(lines) + "\r\nSubject: " + subjectCache_[i].text() + "\r\n";
        }
    }
    return std::nullopt;
}

std::optional<std::string> NntpConnection::FetchHead(int64_t article) {
    return FetchText("head", article, 0, nullptr);
}

std::optional<std::string> NntpConnection::FetchBody(int64_t article, long expectedLines,
                                                     const BodyProgress& progress, std::string prefix) {
    return FetchText("body", article, expectedLines, progress ? &progress : nullptr, std::move(prefix));
}

std::optional<std::string> NntpConnection::FetchText(const char* verb, int64_t article, long expectedLines,
                                                     const BodyProgress* progress, std::string text) {
    ThrottleBandwidth();
    if (article == 0 || link_ != Link::Open) {
        return std::nullopt;
    }
    std::optional<std::string> status = SendCommand(ArticleCommand(verb, article));
    ResetRate();
    auto started = std::chrono::steady_clock::now();
    if (!status) {
        return std::nullopt;
    }
    int code = ReplyCode(*status);
    if (code < 0) {
        // Not a status line: where this answer ends is unknown, so nothing more on this link can be trusted.
        AbandonAnswer();
        return std::nullopt;
    }
    if (code < 220 || code > 222) {
        return std::nullopt;
    }
    const size_t first = text.size(); // the answer's first byte
    long linesRead = 0;
    auto keepGoing = [&] {
        if (!progress || linesRead % 100 != 0) {
            return true;
        }
        float rate = static_cast<float>(CurrentRate()) * (1.0f / 1024.0f);
        int percent = expectedLines == 0 ? 100 : static_cast<int>(100.0 * linesRead / expectedLines);
        return (*progress)(rate, percent, linesRead) != 0;
    };
    for (;;) {
        size_t start = text.size();
        if (!TakeCompleteLines(text) && !(ReceiveBlock(), TakeCompleteLines(text))) {
            if (LineTooLong(scannedWithoutLineEnd_, kMaxAnswerLine) || !keepGoing() ||
                DownloadRunning.load() == 0 || link_ != Link::Open) {
                AbandonAnswer();
                return std::nullopt;
            }
            continue;
        }
        // The new lines arrived in one piece; only lines that start with "." need a closer look. Lines move
        // down over the dots taken out, each at most once, however many lines are dot-stuffed.
        size_t kept = start;
        for (size_t line = start; line < text.size(); ++linesRead) {
            size_t next = text.find('\n', line) + 1;
            if (LineTooLong(next - line, kMaxAnswerLine)) {
                return std::nullopt;
            }
            if (text[line] == '.') {
                if (text.compare(line, 3, ".\r\n") == 0 || text.compare(line, 2, ".\n") == 0) {
                    ReturnToRing(text, next);
                    MeasureRate(kept - first, started);
                    text.resize(kept);
                    return kept == first ? std::nullopt : std::optional<std::string>(std::move(text));
                }
                if (text[line + 1] == '.') {
                    ++line;
                }
            }
            if (!keepGoing()) {
                AbandonAnswer();
                return std::nullopt;
            }
            if (kept != line) {
                std::memmove(&text[kept], &text[line], next - line);
            }
            kept += next - line;
            line = next;
            if (kept - first > kMaxArticleBytes) {
                char why[64];
                std::snprintf(why, sizeof why, "   Article larger than %zu MBytes", kMaxArticleBytes >> 20);
                CutOff(why);
                return std::nullopt;
            }
        }
        text.resize(kept);
        if (start == first && expectedLines > linesRead) {
            // Room for the whole answer at once, judged by the lines so far: a long body then costs neither
            // repeated moves nor repeated fresh pages. Capped, since the expected count comes from a post.
            size_t guess = static_cast<size_t>(expectedLines) *
                           ((text.size() - first) / static_cast<size_t>(linesRead) + 1);
            text.reserve(first + std::min(guess, kMaxArticleBytes));
        }
    }
}

bool NntpConnection::TakeCompleteLines(std::string& out) {
    if (ring_.find('\n', scannedWithoutLineEnd_) == ByteRing::npos) {
        scannedWithoutLineEnd_ = ring_.size();
        return false;
    }
    size_t start = out.size();
    ring_.take(ring_.size(), out);
    size_t end = out.rfind('\n') + 1;
    ring_.append(out.data() + end, out.size() - end);
    scannedWithoutLineEnd_ = out.size() - end;
    out.resize(end);
    return end > start;
}

void NntpConnection::ReturnToRing(const std::string& text, size_t from) {
    std::string unread = text.substr(from);
    ring_.take(ring_.size(), unread);
    ring_.append(unread);
    scannedWithoutLineEnd_ = 0;
}

long NntpConnection::FetchGroupList(std::vector<std::string>& lines, GroupListProgress* progress,
                                    const char* date) {
    lines.clear();
    std::string command = "list\r\n";
    int startCode = 215;
    if (date) {
        std::string dateText = date;
        if (dateText.empty() || dateText.size() > 40 ||
            dateText.find_first_not_of("0123456789 ") != std::string::npos) {
            return 0;
        }
        command = "newgroups " + dateText + "\r\n";
        startCode = 231;
    }
    ThrottleBandwidth();
    if (link_ != Link::Open || !SendText(command.c_str())) {
        return 0;
    }
    bool inData = false;
    bool loggedInAgain = false;
    long stored = 0;
    size_t held = 0; // as the list's strings would hold them, every line counted
    std::string line;
    for (;;) {
        if (GroupListCancel.load() != 0) {
            return 0;
        }
        line.clear();
        bool got = WaitLine(line, inData ? Watch::GroupList : Watch::ReplyTime,
                            inData ? kMaxAnswerLine : kMaxStatusLine);
        if (GroupListCancel.load() != 0) {
            return 0;
        }
        if (!got) {
            // A list cut short would make the stored file lose groups for good: count it as nothing.
            AbandonAnswer();
            return 0;
        }
        CutLineEnd(line);
        if (inData) {
            if (line.compare(0, 2, "..") == 0) {
                line.erase(0, 1);
            } else if (line[0] == '.') {
                return stored;
            }
            held += sizeof(std::string) + line.size();
            if (held > kMaxGroupListBytes) {
                char why[64];
                std::snprintf(why, sizeof why, "Server sent more than %zu MBytes of groups",
                              kMaxGroupListBytes >> 20);
                CutOff(why);
                return 0;
            }
            if (line.size() > 3 &&
                std::all_of(line.begin(), line.end(), [](char c) { return IsGroupLineCharacter(c); })) {
                lines.push_back(line);
                ++stored;
                if (progress) {
                    progress->Stored(stored, line);
                }
            }
            continue;
        }
        int code = ReplyCode(line);
        if (code == startCode) {
            inData = true;
        } else if (code == 480 && !loggedInAgain) {
            loggedInAgain = true;
            Relogin();
            SendText(command.c_str());
        } else {
            return 0;
        }
    }
}
