#include "cfgman/core/settings.h"

#include "platform/win/osactions.h"
#include "platform/win/paths.h"
#include "platform/win/profile.h"

namespace cfgman {

namespace {

std::string FolderPath(const std::string& stored) {
    return win::IncludeTrailingPathDelimiter(win::ResolvePath(stored));
}

} // namespace

std::string TFolders::MessagesPath() const {
    return FolderPath(Messages);
}
std::string TFolders::AgentsPath() const {
    return FolderPath(Agents);
}
std::string TFolders::DataBasePath() const {
    return FolderPath(DataBase);
}
std::string TFolders::TemplatesPath() const {
    return FolderPath(Templates);
}

TFolders& Folders() {
    static TFolders folders;
    return folders;
}

TFolders DefaultFolders(const std::string& programFolder) {
    const std::string base = win::IncludeTrailingPathDelimiter(programFolder);
    return {base + "messages/", base + "agents/", base, base + "templates/"};
}

TFolders ReadFolders(const win::TIniFile& ini, const std::string& programFolder) {
    const TFolders d = DefaultFolders(programFolder);
    TFolders f;
    f.Messages = ini.ReadString("Folders", "Messages", d.Messages);
    f.Agents = ini.ReadString("Folders", "Agents", d.Agents);
    f.DataBase = ini.ReadString("Folders", "DataBase", d.DataBase);
    f.Templates = ini.ReadString("Folders", "Templates", d.Templates);
    return f;
}

void WriteFolders(win::TIniFile& ini, const TFolders& folders) {
    ini.WriteString("Folders", "Messages", folders.Messages);
    ini.WriteString("Folders", "Agents", folders.Agents);
    ini.WriteString("Folders", "DataBase", folders.DataBase);
}

TBounds ReadBounds(const win::TIniFile& ini, const std::string& section) {
    TBounds b;
    b.Left = int(ini.ReadInteger(section, "Left", b.Left));
    b.Top = int(ini.ReadInteger(section, "Top", b.Top));
    b.Height = int(ini.ReadInteger(section, "Height", b.Height));
    b.Width = int(ini.ReadInteger(section, "Width", b.Width));
    return b;
}

void WriteBounds(win::TIniFile& ini, const std::string& section, const TBounds& bounds) {
    ini.WriteInteger(section, "Left", bounds.Left);
    ini.WriteInteger(section, "Top", bounds.Top);
    ini.WriteInteger(section, "Height", bounds.Height);
    ini.WriteInteger(section, "Width", bounds.Width);
}

std::string ReadRasService(const win::TIniFile& ini) {
    return ini.ReadString("RAS", "Service", "None");
}

bool SoundsDisabled() {
    return win::TIniFile(kIniName).ReadBool("Misc", "SoundsDisabled", false);
}

void PlayEventSound(const std::string& fileName) {
    if (SoundsDisabled())
        return;
    const std::string path = win::ResolvePath(fileName);
    if (win::FileExists(path))
        win::PlaySoundFile(path);
}

} // namespace cfgman
