#pragma once
// What the preferences dialog reads from and writes to quelta.ini.
#include "cfgman/core/settings.h"

#include <string>

namespace cfgman {

enum class TConnectMethod { LAN, Manual, RAS };

// [Connect] Method in upper case: "LAN", "MANUAL" or "RAS"; anything else
// is the layout's choice, LAN.
[[nodiscard]] TConnectMethod ReadConnectMethod(const win::TIniFile& ini);
[[nodiscard]] const char* ConnectMethodText(TConnectMethod method);

struct TPreferences {
    TConnectMethod Method = TConnectMethod::LAN;
    // The dial-up entry chosen; "None" is no dial-up.
    std::string Service = "None";
    bool SoundsDisabled = false;
    TFolders Folders;
};

// Method; Service only for dial-up; the four folders (the database key
// spelled "Database"); SoundsDisabled.
void WritePreferences(win::TIniFile& ini, const TPreferences& p);

inline constexpr const char* kNoDialUp = "None";

} // namespace cfgman
