#include "engine/GroupDownload.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/OwnedPtrArray.h"
#include "config/FilterList.h"
#include "decode/ArticleDecoder.h"
#include "engine/EngineState.h"
#include "engine/HeldHost.h"
#include "log/Log.h"
#include "nntp/Flags.h"
#include "nntp/NntpConnection.h"
#include "parts/Header.h"
#include "parts/PartsCleanup.h"
#include "parts/PartsStore.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/TaskThread.h"

namespace {

constexpr int64_t kMaxArticlesPerVisit = 5000;
constexpr long kMaxLines = 19999;
constexpr double kCulledBytesPerLine = 40;
constexpr double kFilteredBytesPerLine = 62;
constexpr double kMegabyte = 1048576.0;
constexpr size_t kSaveThreadStack = 64 * 1024;
// Guesses of an answer's size, for the bound on what is in flight: a head, and a body line with its end.
constexpr size_t kHeadAnswerBytes = 2048;
constexpr size_t kBodyLineBytes = 64;

template <typename... Args> std::string Format(const char* format, Args... args) {
    char buffer[4096];
    snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

// One group's visit: start choice, then header, culls, filters, body, parts or decoding, and results for each
// new article. A single-part binary is decoded on a second thread while the next article is fetched; what the
// fetch does to the log, the window, the counters and the stored article number takes effect only after that
// decoding is done, so everything happens in the order of a one-article-at-a-time run.
class GroupDownload {
  public:
    explicit GroupDownload(GroupJob& job)
        : job_(job), connection_(*job.connection), request_(*job.request), host_(*request_.host),
          stats_(request_.stats), fetchHost_(host_) {}

    void Run();

  private:
    enum class Step { Next, Stop };

    // What the fetch of one article leaves to do once the article before it is done.
    struct Fetched {
        Step step = Step::Next;
        std::unique_ptr<Header> partHeader; // a part of a multipart post, with its body
        std::string partBody;
        std::optional<std::string> post; // a whole single-part article to decode
    };

    bool Start();
    bool ChooseStart(const GroupStatus& status);
    void ReadSettings();
    void SetNextArticle(int64_t article);
    void ReloadFilters();
    void MakeOutputDir();
    std::optional<uint64_t> FreeMegabytes(const std::string& dir) const;

    Step Article(int64_t& n);
    Fetched Fetch(int64_t& n);
    Step Commit(int64_t n, Fetched& fetched);
    void Later(std::function<void()> effect) { effects_.push_back(std::move(effect)); }
    void HandOverDecode(std::string post, int64_t n);
    void WaitForDecode();
    bool Reconnect(int64_t& n);
    void SendAhead(int64_t n, long lines);
    bool PassesCulls(Header& header, long lines) const;
    bool Culled(Header& header, long lines);
    bool Filtered(Header& header, long lines);
    std::optional<std::string> PartBody(Header& header, std::string body, int64_t n);
    Step CheckPartsSpace();
    void Decode(std::string& text, int64_t n);
    void Results();
    void PostProcess(const FileStat& file);

    std::string ServerText(const char* format) const { return Format(format, serverAddress_.c_str()); }

    GroupJob& job_;
    NntpConnection& connection_;
    DownloadRequest& request_;
    EngineHost& host_; // for the decoding thread
    DownloadStats& stats_;
    SettingValues values_;
    SettingValues decodeValues_; // the settings of the article being decoded, for the decoding thread
    std::string serverAddress_;
    std::string groupName_;
    long minSizeK_ = 0;
    std::string outputDir_;
    bool dirMade_ = false;
    OwnedPtrArray<std::string> filters_;
    int filterCount_ = 0;
    int64_t first_ = 0, last_ = 0, start_ = 0, count_ = 0;
    int64_t redone_ = -1; // the article last done again after a lost connection
    long partsCounter_ = 0;
    std::vector<std::function<void()>> effects_; // of the article being fetched, waiting for its commit
    LogHold logHold_;
    HeldHost fetchHost_; // the window of the group thread
    // Declared last: they end before anything they use. The saves run beside the decoding, which need not
    // wait for the disk.
    std::unique_ptr<TaskThread> saving_;
    std::unique_ptr<TaskThread> decoding_;
};

void GroupDownload::ReadSettings() {
    std::lock_guard<std::mutex> lock(SettingsMutex);
    values_ = *request_.settings;
    serverAddress_ = job_.server->Address;
    groupName_ = job_.group->Name;
    minSizeK_ = job_.group->MinSizeK;
}

void GroupDownload::SetNextArticle(int64_t article) {
    std::lock_guard<std::mutex> lock(SettingsMutex);
    job_.group->NextArticle = article;
}

void GroupDownload::Run() {
    ReadSettings();
    decoding_ = std::make_unique<TaskThread>(kGroupThreadStack, values_.ThreadPriority);
    saving_ = std::make_unique<TaskThread>(kSaveThreadStack, values_.ThreadPriority);
    job_.serverOutcome = 0;
    if (Start()) {
        int64_t n = start_;
        // Ends at the last article without stepping past it: that may be the highest number there is.
        while (n <= last_ && DownloadRunning) {
            if (Article(n) == Step::Stop || n == last_) {
                break;
            }
            ++n;
        }
    }
    WaitForDecode();
    // The parts index on disk is complete when the group's visit ends.
    FlushPartsIndex();
    // A save still under way is done before the controller writes its own.
    saving_->Wait();
    job_.done = 1;
}

// Re-opens the connection, selects the group and chooses where to begin. False when nothing is to be done.
bool GroupDownload::Start() {
    bool running = WhileRunning([&] {
        if (FILE* last = fopen("lastgroup", "w")) {
            fprintf(last, "%s:%s\n", serverAddress_.c_str(), groupName_.c_str());
            fclose(last);
        }
    });
    if (!running) {
        return false;
    }
    // The connect waits outside the status lock; a connect that a Stop cut short is not reported.
    if (connection_.Connect() != 1) {
        WhileRunning([&] {
            LogMessage("Failed to connect to %s", serverAddress_.c_str());
            fetchHost_.SetStatusLine(ServerText("%s (no response)"));
            job_.serverOutcome = 1;
        });
        return false;
    }

    outputDir_ = values_.OutputDir + groupName_;
    job_.decoder->setOutputDir(outputDir_.c_str());
    connection_.SetTxRxLogName(GetTxRxLogName());
    std::unique_ptr<GroupStatus> status = connection_.SelectGroup(groupName_);
    connection_.SetBandwidthLimit(values_.BandWidthLimit);
    if (!status) {
        // A Stop cuts the exchange short: no fault of the group.
        if (DownloadRunning) {
            LogMessage("Error setting group %s on %s", groupName_.c_str(), serverAddress_.c_str());
            LogMessage("    Login failed?, Group not exist?, Proxy Failed?");
        }
        return false;
    }
    LogMessage("\n---------------------------------------------------------\nProcessing group "
               "%s\n---------------------------------------------------------",
               groupName_.c_str());
    if (!ChooseStart(*status) || start_ > last_) {
        return false;
    }
    ReloadFilters();
    connection_.SetBandwidthLimit(values_.BandWidthLimit);
    MakeOutputDir();
    return true;
}

bool GroupDownload::ChooseStart(const GroupStatus& status) {
    first_ = status.first();
    last_ = status.last();
    int64_t p;
    {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        p = job_.group->NextArticle;
    }
    if (p < 0) {
        p = last_ + p;
    }
    if (p < 0) {
        p = 0;
    }
    if (p > last_) {
        p = last_;
    }
    if (p < first_) {
        p = first_ - 1;
    }
    if (last_ - p > kMaxArticlesPerVisit) {
        LogMessage("%ld Articles is way too many to process", static_cast<long>(last_ - p));
        p = last_ - kMaxArticlesPerVisit;
        LogMessage("Starting at article %ld (%d from the latest article)", static_cast<long>(p),
                   static_cast<int>(kMaxArticlesPerVisit));
    }
    if (p == std::numeric_limits<int64_t>::max()) {
        return false; // nothing follows the highest article number there is
    }
    start_ = p + 1 < first_ ? first_ : p + 1;
    count_ = last_ - start_ + 1;
    if (start_ > last_) {
        return false; // nothing new: the article to arrive next is still the one to begin with
    }
    SetNextArticle(start_);
    return DownloadRunning != 0;
}

// The old list goes whatever the settings now say: filtering switched off, or no file named, filters nothing.
void GroupDownload::ReloadFilters() {
    FreeFilterList(filters_, filterCount_);
    filterCount_ = 0;
    FiltersChanged = 0;
    if (values_.FilteringEnabled && !values_.FilterFile.empty()) {
        filterCount_ = LoadFilterFile(values_.FilterFile, filters_);
    }
}

void GroupDownload::MakeOutputDir() {
    if (!dirMade_) {
        CreateDirectories(outputDir_);
        dirMade_ = true;
    }
}

std::optional<uint64_t> GroupDownload::FreeMegabytes(const std::string& dir) const {
    std::optional<uint64_t> bytes = request_.freeSpace(dir.empty() ? "." : dir);
    if (!bytes) {
        return std::nullopt;
    }
    return *bytes / static_cast<uint64_t>(kMegabyte);
}

GroupDownload::Step GroupDownload::Article(int64_t& n) {
    Fetched fetched = Fetch(n);
    return Commit(n, fetched);
}

GroupDownload::Fetched GroupDownload::Fetch(int64_t& n) {
    Fetched stop;
    stop.step = Step::Stop;
    ReadSettings();
    connection_.SetHeaderCacheSize(values_.HeaderCacheSize);
    if (FiltersChanged) {
        ReloadFilters();
    }
    ProgressArticle = n;
    fetchHost_.SetArticleTitle(Format("Article %ld", static_cast<long>(n)));
    fetchHost_.SetGroupPanelTitle(Format("%s (%ld/%ld)", groupName_.c_str(),
                                         static_cast<long>(n - start_ + 1), static_cast<long>(count_)));
    LogMessage("Processing article %ld:", static_cast<long>(n));
    connection_.SetTxRxLogName(GetTxRxLogName());
    if (connection_.IsDisconnected() && !Reconnect(n)) {
        return stop;
    }
    ProgressLines = 0;
    fetchHost_.SetArticleExtraction("0");
    fetchHost_.SetArticleRate("0.0");
    if (!DownloadRunning) {
        return stop;
    }

    fetchHost_.SetArticleTitle(Format("Article %ld (fetching header)", static_cast<long>(n)));
    connection_.SetTxRxLogName(GetTxRxLogName());
    std::optional<std::string> summary = connection_.FetchHeaderSummary(n);
    fetchHost_.SetArticleTitle(Format("Article %ld", static_cast<long>(n)));
    if (!summary) {
        if (!DownloadRunning) {
            return stop;
        }
        LogMessage("   has no header - giving up");
        return {};
    }
    // The text the header was made from: where xhdr is refused it is the whole head, decoded with the body.
    std::string headText = *summary;
    bool fullHead = !connection_.XhdrUsable();
    auto header = std::make_unique<Header>(std::move(*summary));
    long lines = header->getLines();
    ProgressLines = lines;
    std::string subject = header->getSubject();
    if (subject.compare(0, 4, "Re: ") == 0) {
        subject.erase(0, 4);
    } else if (subject.compare(0, 3, "Re:") == 0) {
        subject.erase(0, 3);
    }
    fetchHost_.SetArticleSubject(subject);
    fetchHost_.SetArticleLines(Format("%ld", lines));
    LogMessage("   %s", header->getSubject().c_str());
    LogMessage("   %ld lines", lines);

    bool dropped = Culled(*header, lines);
    if (!DownloadRunning) {
        return stop;
    }
    if (!dropped) {
        // Filters need the whole head; where xhdr is refused the summary already is the head.
        if (connection_.XhdrUsable()) {
            if (std::optional<std::string> head = connection_.FetchHead(n)) {
                headText = *head;
                fullHead = true;
                header = std::make_unique<Header>(std::move(*head));
            }
        }
        dropped = Filtered(*header, lines);
    }
    if (!dropped) {
        LogMessage("   %s", header->getFrom().c_str());
        fetchHost_.SetArticleTitle(Format("Article %ld (fetching body)", static_cast<long>(n)));
        connection_.SetTxRxLogName(GetTxRxLogName());
        if (!DownloadRunning) {
            return stop;
        }
        // The head fetched for the filters is the one decoded with the body; it is not asked for twice, and
        // the body arrives right behind it.
        bool behindHead = fullHead && !header->isMultiPart();
        SendAhead(n, lines);
        EngineHost& host = fetchHost_;
        std::optional<std::string> body = connection_.FetchBody(
            n, lines,
            [&host](float rate, int percent, long linesSoFar) {
                return BodyProgress(host, rate, percent, linesSoFar);
            },
            behindHead ? std::move(headText) + "\r\n" : std::string());
        if (!DownloadRunning) {
            return stop;
        }
        if (!body) {
            LogMessage("   Article has no body");
        } else if (header->isMultiPart()) {
            Fetched part;
            part.partHeader = std::move(header);
            part.partBody = std::move(*body);
            return part;
        } else {
            Fetched single;
            if (behindHead) {
                single.post = std::move(*body);
            } else {
                std::optional<std::string> head = connection_.FetchHead(n);
                if (!DownloadRunning) {
                    return stop;
                }
                single.post = head.value_or(std::string()) + "\r\n" + *body;
            }
            LogMessage("   processing");
            return single;
        }
    }
    return {};
}

GroupDownload::Step GroupDownload::Commit(int64_t n, Fetched& fetched) {
    WaitForDecode();
    if (logHold_.Resume()) {
        // The decoding of the article before stopped the run: this article's fetch never happened.
        effects_.clear();
        return Step::Stop;
    }
    for (const std::function<void()>& effect : effects_) {
        effect();
    }
    effects_.clear();
    if (fetched.step == Step::Stop) {
        return Step::Stop;
    }
    if (fetched.partHeader) {
        // Parts are stored here: a full parts volume may switch parts off for the articles that follow.
        fetched.post = PartBody(*fetched.partHeader, std::move(fetched.partBody), n);
    }
    if (fetched.post) {
        HandOverDecode(std::move(*fetched.post), n);
    } else if (DownloadRunning) {
        SetNextArticle(n);
    }
    return Step::Next;
}

void GroupDownload::HandOverDecode(std::string post, int64_t n) {
    decodeValues_ = values_;
    logHold_.Hold();
    auto text = std::make_shared<std::string>(std::move(post));
    decoding_->Run([this, text, n] {
        Decode(*text, n);
        if (DownloadRunning) {
            SetNextArticle(n);
            logHold_.Release();
        } else {
            logHold_.Drop();
        }
    });
}

void GroupDownload::WaitForDecode() {
    if (decoding_) {
        decoding_->Wait();
    }
}

bool GroupDownload::Reconnect(int64_t& n) {
    LogMessage("Connection lost - reconnecting");
    fetchHost_.SetStatusLine(ServerText("%s (connecting)"));
    connection_.SetTxRxLogName(GetTxRxLogName());
    // "Not ready" is no connection either; a connect that a Stop cut short is not reported.
    if (connection_.Connect() != 1) {
        connection_.Disconnect();
        if (DownloadRunning) {
            LogMessage("Unable to re-establish connection");
            fetchHost_.SetStatusLine(ServerText("%s (disconnected)"));
            job_.serverOutcome = 3;
            // The article under way when the link broke is done again at the next visit.
            if (n > start_) {
                Later([this, n] { SetNextArticle(n - 2); });
            }
        }
        return false;
    }
    LogMessage("Re-Connected");
    fetchHost_.SetStatusLine(ServerText("%s (re-connected)"));
    connection_.SetTxRxLogName(GetTxRxLogName());
    if (connection_.SelectGroup(groupName_)) {
        LogMessage("Re-processing group %s", groupName_.c_str());
        // The article under way when the link broke is done again first, but once only: an article that
        // breaks the link each time would otherwise be fetched for ever.
        if (n > start_ && n - 1 != redone_) {
            --n;
            redone_ = n;
            ProgressArticle = n;
        }
    } else if (DownloadRunning) {
        LogMessage("Unable to re-set group %s", groupName_.c_str());
    }
    return true;
}

// Puts this body and the commands of the articles after it on the link, so their answers follow this one
// without a round trip in between. Only articles whose summary is at hand and that pass the culls are asked
// for, and their bodies only when no filter has to see the head first; the decisions themselves are taken
// again in turn, and an answer nobody asks for is dropped unseen.
void GroupDownload::SendAhead(int64_t n, long lines) {
    auto bodyBytes = [](long count) { return static_cast<size_t>(std::max(count, 1L)) * kBodyLineBytes; };
    if (!connection_.SendAhead(NntpConnection::ArticleCommand("body", n), bodyBytes(lines))) {
        return;
    }
    // Up to the last article without stepping past it: that may be the highest number there is.
    for (int64_t m = n; m < last_;) {
        ++m;
        std::optional<std::string> summary = connection_.CachedHeaderSummary(m);
        if (!summary) {
            return;
        }
        Header header(std::move(*summary));
        long articleLines = header.getLines();
        if (!PassesCulls(header, articleLines)) {
            continue;
        }
        if (!connection_.SendAhead(NntpConnection::ArticleCommand("head", m), kHeadAnswerBytes) ||
            filterCount_ > 0 ||
            !connection_.SendAhead(NntpConnection::ArticleCommand("body", m), bodyBytes(articleLines))) {
            return;
        }
    }
}

bool GroupDownload::PassesCulls(Header& header, long lines) const {
    if (lines < 1 || lines > kMaxLines) {
        return false;
    }
    if (header.isMultiPart()) {
        return values_.PartsEnabled && header.getPartTotal() <= values_.MaxNumParts;
    }
    return minSizeK_ == 0 || lines >= minSizeK_;
}

bool GroupDownload::Culled(Header& header, long lines) {
    if (PassesCulls(header, lines)) {
        return false;
    }
    if (lines < 1 || lines > kMaxLines) {
        LogMessage("   Corrupt article - culled");
        return true;
    }
    if (header.isMultiPart()) {
        if (!values_.PartsEnabled) {
            LogMessage("   is multipart - culled");
        } else {
            LogMessage("   Culled, recovery of %d parts unlikely ( > %d parts)", header.getPartTotal(),
                       values_.MaxNumParts);
        }
    } else {
        LogMessage("   culled by group minimum");
    }
    Later([this, lines] { stats_.Add(PanelRow::Culled, kCulledBytesPerLine * lines, fetchHost_); });
    return true;
}

bool GroupDownload::Filtered(Header& header, long lines) {
    for (int i = 0; i < filterCount_; ++i) {
        const std::string& filter = filters_[static_cast<uint32_t>(i)];
        if (header.MatchFilter(filter)) {
            Later(
                [this, lines] { stats_.Add(PanelRow::Filtered, kFilteredBytesPerLine * lines, fetchHost_); });
            LogMessage("   filtered with \"%s\"", filter.c_str());
            return true;
        }
    }
    return false;
}

std::optional<std::string> GroupDownload::PartBody(Header& header, std::string body, int64_t n) {
    LogMessage("   processing as part-multipart");
    fetchHost_.SetArticleTitle(Format("Article %ld (multipart processing)", static_cast<long>(n)));
    MakeOutputDir();
    if (CheckPartsSpace() == Step::Stop) {
        return std::nullopt;
    }
    return StorePart(header, std::move(body), values_.PartsDir, partsCounter_, partsCounter_,
                     values_.MaxPartAge);
}

GroupDownload::Step GroupDownload::CheckPartsSpace() {
    std::optional<uint64_t> free = FreeMegabytes(values_.PartsDir);
    if (!free || static_cast<double>(*free) > values_.MinFreeSpace) {
        return Step::Next;
    }
    LogMessage("Parts partition has only %lu MBytes of disk space left...\n",
               static_cast<unsigned long>(*free));
    switch (values_.MultipartFullStop) {
    case 0: {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        request_.settings->PartsEnabled = 0;
        values_.PartsEnabled = 0;
        LogMessage("No longer processing parts!\n");
        return Step::Next;
    }
    case 2:
        LogMessage("Removing 25%% of oldest parts\n");
        if (RemoveOldestQuarter(values_.PartsDir) == 0) {
            LogMessage("failed to remove any parts... stopping all together.\n");
            EndRun();
        }
        return Step::Next;
    default:
        LogMessage("No longer processing download (stopping)!\n");
        EndRun();
        return Step::Next;
    }
}

void GroupDownload::Decode(std::string& text, int64_t n) {
    static const char* const kMalformed[] = {
        nullptr, "   Malformed post: Indeterminable encoding type", "   Malformed post: No binary filename",
        "   Malformed post: Not a binary", "   Malformed post: Empty Article body"};
    host_.SetArticleExtraction("100");
    host_.SetArticleTitle(Format("Article %ld (decoding)", static_cast<long>(n)));
    MakeOutputDir();
    int result = job_.decoder->DecodeArticle(text);
    text.clear();
    text.shrink_to_fit();
    if (result >= 1 && result <= 4) {
        LogMessage("%s", kMalformed[result]);
    } else if (result != 0) {
        LogMessage("    Malformed post: ???");
    }
    // The files just written are counted and listed before a full volume stops the run.
    Results();
    std::optional<uint64_t> free = FreeMegabytes(outputDir_);
    if (free && static_cast<double>(*free) < decodeValues_.MinFreeSpace) {
        LogMessage("Output partition has only %lu MBytes of disk space left, stopping\n",
                   static_cast<unsigned long>(*free));
        EndRun();
    }
    host_.SetArticleTitle(Format("Article %ld", static_cast<long>(n)));
}

void GroupDownload::Results() {
    ArticleDecoder& decoder = *job_.decoder;
    for (int i = 0; i < decoder.resultCount() && DownloadRunning; ++i) {
        const FileStat& file = decoder.result(i);
        if (file.status != FileStat::kProduced) {
            continue;
        }
        if (file.repost_state == FileStat::kNewFile) {
            host_.AddDecodedFile(file.getName());
            LogMessage("   decoded \"%s\"", file.getName().c_str());
            SetNextArticle(last_);
            stats_.Add(PanelRow::Extracted, static_cast<double>(file.size), host_);
            if (stats_.Get(PanelScope::Group, PanelRow::Extracted).count % 10 == 0) {
                saving_->Run([this] { host_.SaveConfiguration(); });
            }
            PostProcess(file);
            double extracted = stats_.Get(PanelScope::Server, PanelRow::Extracted).bytes / kMegabyte;
            if (decodeValues_.MaxDownloadSize != 0 &&
                static_cast<long>(extracted) >= decodeValues_.MaxDownloadSize) {
                LogMessage("Reached maximum amount of extracted articles %lu Mb",
                           static_cast<unsigned long>(decodeValues_.MaxDownloadSize));
                EndRun();
                break;
            }
        } else if (file.repost_state == FileStat::kRepost) {
            LogMessage("   a repost");
            stats_.Add(PanelRow::Reposts, static_cast<double>(file.size), host_);
            SetNextArticle(last_);
        }
    }
}

void GroupDownload::PostProcess(const FileStat& file) {
    if (!decodeValues_.PostProcessEnabled || decodeValues_.PostProcessCommand.empty()) {
        return;
    }
    const std::string& command = decodeValues_.PostProcessCommand;
    LogMessage("   post processing with \"%s\"", command.c_str());
    std::string extension = file.hasExtension() ? file.getExtension() : "?";
    const std::string& path = file.getFullPath();
    const char* format = path.find(' ') != std::string::npos ? "%s %s \"%s\"" : "%s %s %s";
    LogMessage("%s", Format(format, command.c_str(), extension.c_str(), path.c_str()).c_str());
    // The command runs through the shell; the extension and the path travel as separate arguments.
    StartPostProcess(command, extension, path);
}

} // namespace

void GroupDownloadThread(GroupJob& job) {
    GroupDownload group(job);
    group.Run();
}

int BodyProgress(EngineHost& host, float rate, int percent, long linesSoFar) {
    host.SetArticleRate(Format("%1.1f", rate));
    host.SetArticleExtraction(Format("%d", percent));
    ProgressLines = linesSoFar;
    return DownloadRunning ? 1 : 0;
}
