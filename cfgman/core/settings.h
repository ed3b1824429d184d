#pragma once
// What the configuration manager keeps in quelta.ini: the four folders, the
// dial-up entry and the main window's bounds. Folder values are kept as
// stored (they are written back so) and used through the same path helpers
// as the tray programs, so the three programs always name the same folders.
#include <string>

namespace win {
class TIniFile;
}

namespace cfgman {

inline constexpr const char* kIniName = "quelta.ini";

// The process-wide folder settings, as stored in [Folders].
struct TFolders {
    std::string Messages, Agents, DataBase, Templates;

    // The resolved folders with a trailing separator, for building paths.
    [[nodiscard]] std::string MessagesPath() const;
    [[nodiscard]] std::string AgentsPath() const;
    [[nodiscard]] std::string DataBasePath() const;
    [[nodiscard]] std::string TemplatesPath() const;
};

// The folders every window of the program uses; set at the main window's
// creation and changed only by the preferences.
[[nodiscard]] TFolders& Folders();

// Defaults under the program's own folder (which ends with a separator).
[[nodiscard]] TFolders DefaultFolders(const std::string& programFolder);
[[nodiscard]] TFolders ReadFolders(const win::TIniFile& ini, const std::string& programFolder);
// Messages, Agents and DataBase; Templates is written only by the preferences.
void WriteFolders(win::TIniFile& ini, const TFolders& folders);

struct TBounds {
    int Left = 25, Top = 25, Height = 380, Width = 540;
};
// Left, Top, Height and Width of a window-position section.
[[nodiscard]] TBounds ReadBounds(const win::TIniFile& ini, const std::string& section);
void WriteBounds(win::TIniFile& ini, const std::string& section, const TBounds& bounds);

// [RAS] Service; "None" means no dial-up.
[[nodiscard]] std::string ReadRasService(const win::TIniFile& ini);
// [Misc] SoundsDisabled, read afresh on every call.
[[nodiscard]] bool SoundsDisabled();

// Plays a sound file without waiting unless sounds are disabled; a missing
// file plays nothing.
void PlayEventSound(const std::string& fileName);

} // namespace cfgman
