#include "retriever/settings.h"

#include "mail/msutils.h"

namespace retriever {

TRetrieverSettings ReadSettings(const win::TIniFile& ini) {
    TRetrieverSettings s;
    s.rasService = ini.ReadString("RAS", "Service", "None");
    s.autoEnabled = ini.ReadBool("ProcessorSettings", "AutoEnabled", true);
    const std::string base = kDefaultBase;
    s.messagesFolder = ini.ReadString("Folders", "Messages", base + "messages\\");
    s.agentsFolder = ini.ReadString("Folders", "Agents", base + "agents\\");
    s.dataBaseFolder = ini.ReadString("Folders", "DataBase", base);
    s.left = static_cast<int>(ini.ReadInteger("PWindowPos", "Left", 25));
    s.top = static_cast<int>(ini.ReadInteger("PWindowPos", "Top", 25));
    s.height = static_cast<int>(ini.ReadInteger("PWindowPos", "Height", 309));
    s.width = static_cast<int>(ini.ReadInteger("PWindowPos", "Width", 359));
    return s;
}

void WriteWindowPos(win::TIniFile& ini, int left, int top, int height, int width) {
    ini.WriteInteger("PWindowPos", "Left", left);
    ini.WriteInteger("PWindowPos", "Top", top);
    ini.WriteInteger("PWindowPos", "Height", height);
    ini.WriteInteger("PWindowPos", "Width", width);
}

void WriteAutoEnabled(win::TIniFile& ini, bool on) {
    ini.WriteBool("ProcessorSettings", "AutoEnabled", on);
}

TCommand ParseCommandLine(const std::vector<std::string>& args) {
    if (args.empty())
        return TCommand::None;
    if (UpperCase(args[0]).substr(0, 11) == "/SINGLEPASS")
        return TCommand::SinglePass;
    return TCommand::Unknown;
}

std::string UnknownOptionText(const std::string& param) {
    return "Command-line option \"" + param + "\" not understood";
}

} // namespace retriever
