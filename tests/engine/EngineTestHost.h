#pragma once

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ConsoleHost.h"

struct NullStream {
    NullStream() : stream(fopen("/dev/null", "w")) {}
    ~NullStream() { fclose(stream); }
    FILE* stream;
};

// The console host with everything it is told kept for the test to read.
class EngineTestHost : private NullStream, public ConsoleHost {
  public:
    EngineTestHost(Settings& settings, const std::string& configFile)
        : ConsoleHost(settings, configFile, NullStream::stream) {}

    void SetStatusLine(const std::string& text) override { Record(status_, text); }
    void MessageBox(const std::string& text, const std::string& caption) override {
        Record(messages_, caption + ": " + text);
    }
    void AddDecodedFile(const std::string& name) override { Record(decoded_, name); }
    // The article box, the lower panel's title and the window title, in the order they were shown, each as
    // "field:text" ("title:Article 3", "subject:...", "lines", "extraction", "rate", "panel", "window").
    void SetArticleTitle(const std::string& text) override { Record(display_, "title:" + text); }
    void SetArticleSubject(const std::string& text) override { Record(display_, "subject:" + text); }
    void SetArticleLines(const std::string& text) override { Record(display_, "lines:" + text); }
    void SetArticleExtraction(const std::string& text) override { Record(display_, "extraction:" + text); }
    void SetArticleRate(const std::string& text) override { Record(display_, "rate:" + text); }
    void SetGroupPanelTitle(const std::string& text) override { Record(display_, "panel:" + text); }
    void SetWindowTitle(const std::string& text) override { Record(display_, "window:" + text); }
    void SetPanelRow(PanelScope scope, PanelRow row, const std::string& count,
                     const std::string& mbytes) override {
        std::lock_guard<std::mutex> lock(mutex_);
        panel_[static_cast<int>(scope)][static_cast<int>(row)] = count + "," + mbytes;
    }
    // "count,megabytes" as last shown in a panel row.
    std::string Panel(PanelScope scope, PanelRow row) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return panel_[static_cast<int>(scope)][static_cast<int>(row)];
    }
    void DownloadEnded(bool closeApplication) override {
        closeApplication_ = closeApplication;
        ConsoleHost::DownloadEnded(closeApplication);
    }
    bool SaveConfiguration() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++saves_;
        return ConsoleHost::SaveConfiguration();
    }

    std::vector<std::string> StatusLines() const { return Copy(status_); }
    std::vector<std::string> Messages() const { return Copy(messages_); }
    std::vector<std::string> Decoded() const { return Copy(decoded_); }
    std::vector<std::string> Display() const { return Copy(display_); }
    bool HasStatus(const std::string& text) const {
        auto lines = StatusLines();
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
    int Saves() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return saves_;
    }
    bool closeApplication() const { return closeApplication_; }

  private:
    void Record(std::vector<std::string>& list, const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        list.push_back(text);
    }
    std::vector<std::string> Copy(const std::vector<std::string>& list) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return list;
    }

    mutable std::mutex mutex_;
    std::vector<std::string> status_, messages_, decoded_, display_;
    std::string panel_[2][4];
    int saves_ = 0;
    std::atomic<bool> closeApplication_{false};
};
