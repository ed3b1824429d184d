#include "processor/posta/settings.h"

#include "platform/win/profile.h"

namespace posta {

TAgentSettings ReadAgentSettings(const win::TIniFile& ini) {
    TAgentSettings s;
    s.Service = ini.ReadString("RAS", "Service", "None");
    s.AutoEnabled = ini.ReadBool("AgentSettings", "AutoEnabled", true);
    s.Left = int(ini.ReadInteger("AWindowPos", "Left", 25));
    s.Top = int(ini.ReadInteger("AWindowPos", "Top", 25));
    s.Height = int(ini.ReadInteger("AWindowPos", "Height", 309));
    s.Width = int(ini.ReadInteger("AWindowPos", "Width", 359));
    const std::string base = kDefaultBase;
    s.MessagesFolder = ini.ReadString("Folders", "Messages", base + "messages\\");
    s.AgentsFolder = ini.ReadString("Folders", "Agents", base + "agents\\");
    s.DataBaseFolder = ini.ReadString("Folders", "DataBase", base);
    return s;
}

void WriteAutoEnabled(win::TIniFile& ini, bool on) {
    ini.WriteBool("AgentSettings", "AutoEnabled", on);
}

void WriteWindowPos(win::TIniFile& ini, int left, int top, int height, int width) {
    ini.WriteInteger("AWindowPos", "Left", left);
    ini.WriteInteger("AWindowPos", "Top", top);
    ini.WriteInteger("AWindowPos", "Height", height);
    ini.WriteInteger("AWindowPos", "Width", width);
}

} // namespace posta
