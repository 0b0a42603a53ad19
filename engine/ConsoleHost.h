#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "config/Settings.h"
#include "engine/EngineHost.h"

// The engine's host without a window: status lines and message texts go to a stream as whole lines, message
// boxes are answered OK at once, and the server/group tree is the Settings record in its own order.
class ConsoleHost : public EngineHost {
  public:
    ConsoleHost(Settings& settings, std::string configFile, FILE* out);

    void SetStatusLine(const std::string& text) override;
    void SetPanelRow(PanelScope, PanelRow, const std::string&, const std::string&) override {}
    void SetGroupPanelTitle(const std::string&) override {}
    void SetArticleTitle(const std::string&) override {}
    void SetArticleSubject(const std::string&) override {}
    void SetArticleLines(const std::string&) override {}
    void SetArticleExtraction(const std::string&) override {}
    void SetArticleRate(const std::string&) override {}
    void SetWindowTitle(const std::string&) override {}
    void AddDecodedFile(const std::string&) override {}
    void DownloadEnded(bool closeApplication) override;
    bool SaveConfiguration() override;
    void MessageBox(const std::string& text, const std::string& caption) override;
    void Beep(int, int) override {}

    void TreeFirstServer() override;
    void TreeNextServer() override;
    void TreeNextGroup() override;
    ServerEntry* TreeCurrentServerEntry() override;
    GroupEntry* TreeCurrentGroupEntry() override;

    // Blocks until DownloadEnded has been called.
    void WaitForEnd();
    // The same with a bound; false when the run had not ended in time.
    bool WaitForEnd(std::chrono::milliseconds timeout);

  private:
    void PrintLine(const std::string& text);

    Settings& settings_;
    std::string configFile_;
    FILE* out_;
    std::mutex outMutex_;
    std::mutex saveMutex_;
    long server_ = -1; // -1: no current server
    long group_ = -1;  // -1: no current group
    std::mutex endMutex_;
    std::condition_variable endSignal_;
    bool ended_ = false;
};
