#pragma once

#include <string>

#include "engine/EngineHost.h"

// The window as the group thread sees it while the article before the one it fetches is decoded beside it:
// every field it shows keeps its place among the thread's activity-log lines (LogHold::Defer), so it is held
// back with them until that decoding is done, and the window follows the articles one at a time as the log
// does. The decoding thread uses the host itself. Calls that do not show a field go straight to the host.
class HeldHost : public EngineHost {
  public:
    explicit HeldHost(EngineHost& host) : host_(host) {}

    void SetStatusLine(const std::string& text) override { Show(&EngineHost::SetStatusLine, text); }
    void SetPanelRow(PanelScope scope, PanelRow row, const std::string& count,
                     const std::string& mbytes) override;
    void SetGroupPanelTitle(const std::string& text) override { Show(&EngineHost::SetGroupPanelTitle, text); }
    void SetArticleTitle(const std::string& text) override { Show(&EngineHost::SetArticleTitle, text); }
    void SetArticleSubject(const std::string& text) override { Show(&EngineHost::SetArticleSubject, text); }
    void SetArticleLines(const std::string& text) override { Show(&EngineHost::SetArticleLines, text); }
    void SetArticleExtraction(const std::string& text) override {
        Show(&EngineHost::SetArticleExtraction, text);
    }
    void SetArticleRate(const std::string& text) override { Show(&EngineHost::SetArticleRate, text); }
    void SetWindowTitle(const std::string& text) override { Show(&EngineHost::SetWindowTitle, text); }

    void AddDecodedFile(const std::string& name) override { host_.AddDecodedFile(name); }
    void DownloadEnded(bool closeApplication) override { host_.DownloadEnded(closeApplication); }
    bool SaveConfiguration() override { return host_.SaveConfiguration(); }
    void MessageBox(const std::string& text, const std::string& caption) override {
        host_.MessageBox(text, caption);
    }
    void Beep(int hertz, int milliseconds) override { host_.Beep(hertz, milliseconds); }
    void TreeFirstServer() override { host_.TreeFirstServer(); }
    void TreeNextServer() override { host_.TreeNextServer(); }
    void TreeNextGroup() override { host_.TreeNextGroup(); }
    ServerEntry* TreeCurrentServerEntry() override { return host_.TreeCurrentServerEntry(); }
    GroupEntry* TreeCurrentGroupEntry() override { return host_.TreeCurrentGroupEntry(); }

  private:
    void Show(void (EngineHost::*set)(const std::string&), const std::string& text);

    EngineHost& host_;
};
