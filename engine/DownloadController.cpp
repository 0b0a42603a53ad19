#include <memory>

#include "decode/ArticleDecoder.h"
#include "engine/Download.h"
#include "engine/EngineState.h"
#include "engine/GroupDownload.h"
#include "engine/RunningConnection.h"
#include "log/Log.h"
#include "nntp/Flags.h"
#include "nntp/NntpConnection.h"
#include "platform/Thread.h"

namespace {

constexpr int kConnectAttempts = 15;
constexpr int kRetryPauseMs = 500;
constexpr int kNotRespondingSeconds = 60;
constexpr int kReconnectSeconds = 180;
constexpr size_t kMaxTitle = 63;
constexpr int kWatchCycleMs = 2000;

std::string Format(const char* format, const std::string& text) {
    char buffer[4096];
    snprintf(buffer, sizeof buffer, format, text.c_str());
    return buffer;
}

// The controller's run: the server loop, the connect attempts, the group loop and the watch over each group
// thread. Every way out goes through DownloadEnded.
class DownloadController {
  public:
    explicit DownloadController(DownloadRequest& request)
        : request_(request), host_(*request.host), stats_(request.stats) {}
    ~DownloadController() { groupThread_.join(); }

    void Run();

  private:
    struct ServerLogin {
        std::string address, user, password;
    };

    // Takes the status lock and runs `step` while the download should go on; otherwise ends the run.
    template <typename Step> bool Checkpoint(Step step);
    void StopPath();

    ServerLogin CurrentServerLogin();
    bool ProcessServer(); // false when the run has ended
    void ConnectServer(const ServerLogin& login);
    bool Login(const ServerLogin& login);
    bool GroupLoop();
    bool WatchGroup();
    void KillStalledGroupThread();
    void FinishServer();
    void ShowIdleArticleBox(const char* subject);
    std::string ServerText(const char* format) const { return Format(format, serverName_); }

    DownloadRequest& request_;
    EngineHost& host_;
    DownloadStats& stats_;
    SettingValues values_; // the settings as they stood when last read
    std::unique_ptr<GroupJob> job_;
    std::unique_ptr<ArticleDecoder> decoder_;
    RunningConnectionPtr connection_;
    std::string serverName_;
    Thread groupThread_; // declared last: joined before the connection, job and decoder go
};

template <typename Step> bool DownloadController::Checkpoint(Step step) {
    StatusLock.acquire();
    if (!DownloadRunning) {
        StopPath();
        return false;
    }
    step();
    StatusLock.release();
    return true;
}

// Entered holding the status lock.
void DownloadController::StopPath() {
    DownloadEnded(request_);
    StatusLock.release();
    groupThread_.join();
    connection_.reset();
    host_.SetStatusLine(ServerText("%s (disconnected)"));
}

void DownloadController::Run() {
    {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        values_ = *request_.settings;
    }
    SetCurrentThreadPriority(values_.ThreadPriority);
    job_ = std::make_unique<GroupJob>();
    decoder_ = std::make_unique<ArticleDecoder>();
    long servers = 0;
    host_.TreeFirstServer();
    while (host_.TreeCurrentServerEntry() && DownloadRunning) {
        if (!ProcessServer()) {
            return;
        }
        host_.TreeNextServer();
        ++servers;
        {
            std::lock_guard<std::mutex> lock(SettingsMutex);
            values_ = *request_.settings;
        }
        if (values_.UnAttendedMode && !host_.TreeCurrentServerEntry() && DownloadRunning &&
            servers < values_.NumLoops) {
            char text[64];
            snprintf(text, sizeof text, "Restarting in %ld sec", values_.InterLoopWait);
            WhileRunning([&] { host_.SetStatusLine(text); });
            // Stop ends the pause at once.
            EngineWait(values_.InterLoopWait * 1000, [] { return DownloadRunning == 0; });
            if (DownloadRunning) {
                host_.TreeFirstServer();
            }
        }
    }
    StatusLock.acquire();
    if (DownloadRunning) {
        host_.SetGroupPanelTitle("");
        stats_.Reset(PanelScope::Group, host_);
        ShowIdleArticleBox("none");
    }
    DownloadEnded(request_);
    StatusLock.release();
    groupThread_.join();
    connection_.reset();
    host_.SetStatusLine("Download Completed");
}

DownloadController::ServerLogin DownloadController::CurrentServerLogin() {
    ServerEntry* server = host_.TreeCurrentServerEntry();
    std::lock_guard<std::mutex> lock(SettingsMutex);
    return {server->Address, server->User, server->Password};
}

bool DownloadController::ProcessServer() {
    ServerLogin login = CurrentServerLogin();
    serverName_ = login.address;
    if (!Checkpoint([&] {
            stats_.Reset(PanelScope::Server, host_);
            host_.SetStatusLine(ServerText("%s (connecting)"));
        })) {
        return false;
    }
    connection_ = MakeRunningConnection(login.address);
    connection_->SetBandwidthLimit(values_.BandWidthLimit);
    ConnectServer(login);
    if (connection_) {
        WhileRunning([&] {
            LogMessage("Connected to %s", serverName_.c_str());
            LogMessage("%s", connection_->Greeting().c_str());
            host_.SetStatusLine(ServerText("%s (connected)"));
        });
        if (!GroupLoop()) {
            return false;
        }
    }
    host_.SetWindowTitle("");
    FinishServer();
    connection_.reset();
    return true;
}

// A connect that fails because of a Stop is no failure of the server: only failures found while the run goes
// on are reported.
void DownloadController::ConnectServer(const ServerLogin& login) {
    for (int attempt = 0; attempt < kConnectAttempts && DownloadRunning; ++attempt) {
        if (connection_->Connect() != 0) {
            if (!Login(login)) {
                connection_.reset();
            }
            return;
        }
        if (attempt == kConnectAttempts - 1) {
            WhileRunning([&] {
                host_.SetStatusLine(ServerText("%s (connection failed)"));
                connection_.reset();
                LogMessage("%s (connection failed)", serverName_.c_str());
            });
            return;
        }
        WhileRunning([&] { host_.SetStatusLine(ServerText("%s (no response, retrying)")); });
        // Stop ends the pause at once, and the retry it cancels is not reported.
        EngineWait(kRetryPauseMs, [] { return DownloadRunning == 0; });
        WhileRunning([&] { LogMessage("%s (no response, retrying)", serverName_.c_str()); });
    }
}

// False when the server refused the login. The exchange and the warning box wait outside the status lock.
bool DownloadController::Login(const ServerLogin& login) {
    bool needed = !login.user.empty() && !login.password.empty();
    bool running = WhileRunning([&] {
        connection_->SetTxRxLogName(GetTxRxLogName());
        if (needed) {
            host_.SetStatusLine(ServerText("%s (login)"));
        } else {
            LogMessage("No username & password needed");
        }
    });
    if (!running || !needed) {
        return true;
    }
    bool accepted = connection_->Login(login.user, login.password) == 1;
    bool reported = WhileRunning([&] {
        if (accepted) {
            LogMessage("Sending username & password - Ok");
        } else {
            LogMessage("Sending username & password - Failed");
            host_.SetStatusLine(ServerText("%s (login failed)"));
        }
    });
    if (accepted || !reported) {
        return true;
    }
    host_.MessageBox("Login Failed!", "Spindrel");
    return false;
}

bool DownloadController::GroupLoop() {
    while (GroupEntry* group = host_.TreeCurrentGroupEntry()) {
        if (!DownloadRunning) {
            break;
        }
        std::string name;
        bool skip;
        {
            std::lock_guard<std::mutex> lock(SettingsMutex);
            name = group->Name;
            skip = group->Skip != 0;
        }
        if (skip) {
            host_.TreeNextGroup();
            continue;
        }
        WhileRunning([&] {
            host_.SetGroupPanelTitle(name);
            stats_.Reset(PanelScope::Group, host_);
            host_.SetArticleTitle("Article");
            host_.SetArticleSubject(" ");
            host_.SetArticleLines(" ");
            host_.SetArticleRate("0.0");
            host_.SetArticleExtraction("0");
            host_.SetWindowTitle(Format("Spindrel: %s", name).substr(0, kMaxTitle));
        });
        job_->connection = connection_.get();
        job_->server = host_.TreeCurrentServerEntry();
        job_->group = group;
        job_->decoder = decoder_.get();
        job_->request = &request_;
        job_->serverOutcome = 0;
        job_->done = 0;
        StallSeconds = 0;
        if (!WatchGroup()) {
            return false;
        }
        if (job_->serverOutcome == 1) {
            break;
        }
        // Outside the status lock: the window may take its time to save, and Stop must not wait for it.
        if (DownloadRunning) {
            host_.SaveConfiguration();
        }
        host_.TreeNextGroup();
    }
    return true;
}

// Runs the group thread and watches its progress until it ends. False when the run has ended.
bool DownloadController::WatchGroup() {
    GroupJob& job = *job_;
    int priority;
    {
        // A priority changed in the property sheet applies from the next group on.
        std::lock_guard<std::mutex> lock(SettingsMutex);
        priority = request_.settings->ThreadPriority;
    }
    if (!groupThread_.start([&job] { GroupDownloadThread(job); }, kGroupThreadStack, priority)) {
        LogMessage("ERROR: Unable to start downloading thread");
        host_.Beep(200, 200);
        return true;
    }
    StallSeconds = 0;
    int64_t lastLines = 0, lastArticle = 0, rememberedLines = -1;
    auto ended = [&] { return job.done || groupThread_.finished(); };
    while (!ended()) {
        int64_t lines = ProgressLines, article = ProgressArticle;
        if (lines == lastLines && article == lastArticle) {
            StallSeconds += 2;
            if (BandwidthPauseFlag) {
                StallSeconds = 0;
            }
            if (StallSeconds == kNotRespondingSeconds) {
                if (!Checkpoint([&] {
                        rememberedLines = lines;
                        host_.SetStatusLine(ServerText("%s (not responding)"));
                        LogMessage("%s not responding", serverName_.c_str());
                    })) {
                    return false;
                }
            } else if (StallSeconds >= kReconnectSeconds && lines == rememberedLines) {
                KillStalledGroupThread();
                break;
            }
        } else {
            StallSeconds = 0;
            rememberedLines = -1;
            WhileRunning([&] { host_.SetStatusLine(ServerText("%s (connected)")); });
            lastLines = lines;
            lastArticle = article;
        }
        // The end of the group is noticed at once, not at the end of the cycle.
        EngineWait(kWatchCycleMs, ended);
    }
    groupThread_.join();
    return true;
}

void DownloadController::KillStalledGroupThread() {
    bool killing = WhileRunning([&] {
        host_.SetStatusLine(ServerText("%s (re-connecting)"));
        LogMessage("No response from %s, re-connecting ", serverName_.c_str());
        PauseRun();
        LogMessage("Killing the group download thread...");
    });
    if (!killing) {
        return;
    }
    // Every read of the group thread gives up within about a second once the flag is down. The status lock is
    // not held meanwhile, so a Stop is never kept waiting, and ResumeRun keeps it.
    while (!job_->done && !groupThread_.finished()) {
        SleepMs(200);
    }
    groupThread_.join();
    ResumeRun();
    LogMessage("The group download thread is dead.");
    StallSeconds = 0;
    connection_->Disconnect();
}

void DownloadController::FinishServer() {
    WhileRunning([&] {
        host_.SetStatusLine(ServerText("%s (disconnecting)"));
        if (connection_ && !connection_->IsDisconnected()) {
            connection_->Disconnect();
        }
        host_.SetStatusLine(ServerText(DownloadRunning ? "%s (finished)" : "%s (disconnected)"));
        LogMessage("--------------------\nFinished\n--------------------");
        host_.SetGroupPanelTitle("");
        stats_.Reset(PanelScope::Group, host_);
        ShowIdleArticleBox("none");
    });
}

void DownloadController::ShowIdleArticleBox(const char* subject) {
    host_.SetArticleSubject(subject);
    host_.SetArticleLines("0");
    host_.SetArticleExtraction("0");
    host_.SetArticleRate("0.0");
}

} // namespace

void DownloadControllerThread(DownloadRequest& request) {
    DownloadController controller(request);
    controller.Run();
}
