#include "engine/HeldHost.h"

#include "log/Log.h"

// The calls capture the host itself: they may run after this object is gone, when the hold is released.
void HeldHost::Show(void (EngineHost::*set)(const std::string&), const std::string& text) {
    LogHold::Defer([&host = host_, set, text] { (host.*set)(text); });
}

void HeldHost::SetPanelRow(PanelScope scope, PanelRow row, const std::string& count,
                           const std::string& mbytes) {
    LogHold::Defer(
        [&host = host_, scope, row, count, mbytes] { host.SetPanelRow(scope, row, count, mbytes); });
}
