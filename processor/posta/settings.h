#pragma once
// The agent processor's keys in quelta.ini, with their defaults.
#include <string>

namespace win {
class TIniFile;
}

namespace posta {

// The tray programs' default base folder.
inline constexpr const char* kDefaultBase = "c:\\Program Files\\dovira\\quelta\\";

struct TAgentSettings {
    std::string Service = "None"; // [RAS] Service: the dial-up entry, "None" for none
    bool AutoEnabled = true;      // [AgentSettings] AutoEnabled
    int Left = 25, Top = 25, Height = 309, Width = 359;       // [AWindowPos]
    std::string MessagesFolder, AgentsFolder, DataBaseFolder; // [Folders]
};

[[nodiscard]] TAgentSettings ReadAgentSettings(const win::TIniFile& ini);
// Written at each switch of processing.
void WriteAutoEnabled(win::TIniFile& ini, bool on);
// Written at exit.
void WriteWindowPos(win::TIniFile& ini, int left, int top, int height, int width);

} // namespace posta
