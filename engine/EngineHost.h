#pragma once

#include <string>

struct GroupEntry;
struct ServerEntry;

// The counters of the status panels: the upper panel counts per server, the lower one per group.
enum class PanelScope { Server, Group };
enum class PanelRow { Extracted, Culled, Filtered, Reposts };

// Everything the download engine does to the main window. The Qt window hands each call to its GUI thread;
// the console host prints. Calls come from the engine's worker threads.
class EngineHost {
  public:
    virtual ~EngineHost() = default;

    virtual void SetStatusLine(const std::string& text) = 0;
    // One row of a panel: the count ("%ld") and the size in megabytes ("%1.1f").
    virtual void SetPanelRow(PanelScope scope, PanelRow row, const std::string& count,
                             const std::string& mbytes) = 0;
    virtual void SetGroupPanelTitle(const std::string& text) = 0;

    // The article box.
    virtual void SetArticleTitle(const std::string& text) = 0;
    virtual void SetArticleSubject(const std::string& text) = 0;
    virtual void SetArticleLines(const std::string& text) = 0;
    virtual void SetArticleExtraction(const std::string& text) = 0;
    virtual void SetArticleRate(const std::string& text) = 0;

    // Window title and tray tip together; an empty text restores the application title.
    virtual void SetWindowTitle(const std::string& text) = 0;

    virtual void AddDecodedFile(const std::string& name) = 0;
    // The run has ended; `closeApplication` when an unattended run ended by itself.
    virtual void DownloadEnded(bool closeApplication) = 0;
    // Writes the configuration file; false when it could not be written.
    virtual bool SaveConfiguration() = 0;
    // A warning box; the calling thread waits until it is answered. `caption` is "Spindrel" for worker
    // threads.
    virtual void MessageBox(const std::string& text, const std::string& caption) = 0;
    virtual void Beep(int hertz, int milliseconds) = 0;

    // The server/group tree cursor, in tree order.
    virtual void TreeFirstServer() = 0;
    virtual void TreeNextServer() = 0;
    virtual void TreeNextGroup() = 0;
    // The entries under the cursor, or null at the end.
    virtual ServerEntry* TreeCurrentServerEntry() = 0;
    virtual GroupEntry* TreeCurrentGroupEntry() = 0;
};
