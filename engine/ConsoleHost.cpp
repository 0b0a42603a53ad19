#include "engine/ConsoleHost.h"

#include "config/ConfigFile.h"
#include "engine/EngineState.h"

ConsoleHost::ConsoleHost(Settings& settings, std::string configFile, FILE* out)
    : settings_(settings), configFile_(std::move(configFile)), out_(out) {}

void ConsoleHost::PrintLine(const std::string& text) {
    std::lock_guard<std::mutex> lock(outMutex_);
    fprintf(out_, "%s\n", text.c_str());
    fflush(out_);
}

void ConsoleHost::SetStatusLine(const std::string& text) {
    PrintLine(text);
}

void ConsoleHost::MessageBox(const std::string& text, const std::string&) {
    PrintLine(text);
}

void ConsoleHost::DownloadEnded(bool) {
    std::lock_guard<std::mutex> lock(endMutex_);
    ended_ = true;
    endSignal_.notify_all();
}

void ConsoleHost::WaitForEnd() {
    std::unique_lock<std::mutex> lock(endMutex_);
    endSignal_.wait(lock, [this] { return ended_; });
}

bool ConsoleHost::WaitForEnd(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(endMutex_);
    return endSignal_.wait_for(lock, timeout, [this] { return ended_; });
}

bool ConsoleHost::SaveConfiguration() {
    // One save at a time, so an older text never replaces a newer one; the engine's threads wait for the
    // settings only while the text is made, not while it goes to the disk.
    std::lock_guard<std::mutex> order(saveMutex_);
    std::string text;
    {
        std::lock_guard<std::mutex> lock(SettingsMutex);
        text = FormatConfig(settings_);
    }
    return WriteConfigText(text, configFile_) == 1;
}

void ConsoleHost::TreeFirstServer() {
    std::lock_guard<std::mutex> lock(SettingsMutex);
    server_ = settings_.NumServers > 0 ? 0 : -1;
    group_ = server_ >= 0 && settings_.Servers[0].NumGroups > 0 ? 0 : -1;
}

void ConsoleHost::TreeNextServer() {
    std::lock_guard<std::mutex> lock(SettingsMutex);
    if (server_ >= 0 && server_ + 1 < settings_.NumServers) {
        ++server_;
        group_ = settings_.Servers[server_].NumGroups > 0 ? 0 : -1;
    } else {
        server_ = group_ = -1;
    }
}

void ConsoleHost::TreeNextGroup() {
    std::lock_guard<std::mutex> lock(SettingsMutex);
    if (server_ >= 0 && group_ >= 0 && group_ + 1 < settings_.Servers[server_].NumGroups) {
        ++group_;
    } else {
        group_ = -1;
    }
}

ServerEntry* ConsoleHost::TreeCurrentServerEntry() {
    std::lock_guard<std::mutex> lock(SettingsMutex);
    return server_ >= 0 ? settings_.Servers.get(server_) : nullptr;
}

GroupEntry* ConsoleHost::TreeCurrentGroupEntry() {
    std::lock_guard<std::mutex> lock(SettingsMutex);
    return server_ >= 0 && group_ >= 0 ? settings_.Servers[server_].Groups.get(group_) : nullptr;
}
