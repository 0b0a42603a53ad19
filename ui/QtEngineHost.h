#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <array>
#include <atomic>
#include <bitset>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "config/Settings.h"
#include "engine/EngineHost.h"

class MainWindow;

// The texts of the main window that the engine writes; they reach the screen coalesced.
enum HostField : int {
    StatusField,
    GroupTitleField,
    ArticleTitleField,
    ArticleSubjectField,
    ArticleLinesField,
    ArticleExtractionField,
    ArticleRateField,
    WindowTitleField,
    FirstPanelField, // then count and megabytes of each row, the server panel first
    HostFieldCount = FirstPanelField + 16,
};

int PanelField(PanelScope scope, PanelRow row, bool mbytes);

// The engine's host in the Qt program. Worker threads never touch a widget: every call is handed to the GUI
// thread. Texts are coalesced to a screen refresh rate (the last value always shown); calls whose answer the
// worker needs wait for the GUI thread, but every such wait ends as soon as the run is stopped or the window
// closes. Calls made on the GUI thread itself run at once.
class QtEngineHost : public QObject, public EngineHost {
    Q_OBJECT

  public:
    QtEngineHost(MainWindow& window, Settings& settings, std::string configFile);

    void SetStatusLine(const std::string& text) override { SetField(StatusField, text); }
    void SetPanelRow(PanelScope scope, PanelRow row, const std::string& count,
                     const std::string& mbytes) override;
    void SetGroupPanelTitle(const std::string& text) override { SetField(GroupTitleField, text); }
    void SetArticleTitle(const std::string& text) override { SetField(ArticleTitleField, text); }
    void SetArticleSubject(const std::string& text) override { SetField(ArticleSubjectField, text); }
    void SetArticleLines(const std::string& text) override { SetField(ArticleLinesField, text); }
    void SetArticleExtraction(const std::string& text) override { SetField(ArticleExtractionField, text); }
    void SetArticleRate(const std::string& text) override { SetField(ArticleRateField, text); }
    void SetWindowTitle(const std::string& text) override { SetField(WindowTitleField, text); }

    void AddDecodedFile(const std::string& name) override;
    void DownloadEnded(bool closeApplication) override;
    // Runs on the calling thread: one save at a time, the settings locked only while the text is made.
    bool SaveConfiguration() override;
    void MessageBox(const std::string& text, const std::string& caption) override;
    void Beep(int hertz, int milliseconds) override;

    void TreeFirstServer() override;
    void TreeNextServer() override;
    void TreeNextGroup() override;
    ServerEntry* TreeCurrentServerEntry() override;
    GroupEntry* TreeCurrentGroupEntry() override;

    // GUI thread: the entries under the tree cursor, as the window has just found them.
    void SetCursorEntries(ServerEntry* server, GroupEntry* group);
    // GUI thread: shows every text written so far at once.
    void Flush();
    // The window is gone: waits end at once and later calls are dropped.
    void Shutdown();
    // Screen updates of the texts so far (they are coalesced; each may carry many texts).
    int Flushes() const { return flushes_; }

  private:
    void SetField(int field, const std::string& text);
    void ScheduleFlush();
    // Hands `call` to the GUI thread; dropped once the window is gone.
    void Post(std::function<void()> call);
    // Runs `call` on the GUI thread and waits for it; false when the wait was given up.
    bool Ask(std::function<void()> call);
    bool GivenUp() const;

    MainWindow& window_;
    Settings& settings_;
    std::string configFile_;
    std::atomic<bool> closed_{false};

    std::mutex fieldsMutex_;
    std::array<std::string, HostFieldCount> fields_;
    std::bitset<HostFieldCount> dirty_;
    bool flushPending_ = false;
    QTimer flushTimer_;
    QElapsedTimer sinceFlush_;
    int flushes_ = 0;

    std::mutex callMutex_;
    std::condition_variable answered_;

    std::mutex cursorMutex_;
    ServerEntry* cursorServer_ = nullptr;
    GroupEntry* cursorGroup_ = nullptr;

    std::mutex saveMutex_;
};
