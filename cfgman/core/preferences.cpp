#include "cfgman/core/preferences.h"

#include "platform/win/profile.h"

#include <algorithm>
#include <cctype>

namespace cfgman {

TConnectMethod ReadConnectMethod(const win::TIniFile& ini) {
    std::string method = ini.ReadString("Connect", "Method", "LAN");
    std::transform(method.begin(), method.end(), method.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    if (method == "MANUAL")
        return TConnectMethod::Manual;
    if (method == "RAS")
        return TConnectMethod::RAS;
    return TConnectMethod::LAN;
}

const char* ConnectMethodText(TConnectMethod method) {
    switch (method) {
    case TConnectMethod::Manual:
        return "MANUAL";
    case TConnectMethod::RAS:
        return "RAS";
    default:
        return "LAN";
    }
}

void WritePreferences(win::TIniFile& ini, const TPreferences& p) {
    ini.WriteString("Connect", "Method", ConnectMethodText(p.Method));
    if (p.Method == TConnectMethod::RAS)
        ini.WriteString("RAS", "Service", p.Service.empty() ? kNoDialUp : p.Service);
    ini.WriteString("Folders", "Messages", p.Folders.Messages);
    ini.WriteString("Folders", "Agents", p.Folders.Agents);
    ini.WriteString("Folders", "Database", p.Folders.DataBase);
    ini.WriteString("Folders", "Templates", p.Folders.Templates);
    ini.WriteBool("Misc", "SoundsDisabled", p.SoundsDisabled);
}

} // namespace cfgman
