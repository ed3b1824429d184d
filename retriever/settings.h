#pragma once
// What postp reads from quelta.ini at start-up and what its command line
// asks for.
#include "platform/win/profile.h"

#include <string>
#include <vector>

namespace retriever {

// The tray programs' default base folder (mapped to /opt/dovira/quelta/).
inline constexpr const char* kDefaultBase = "c:\\program files\\dovira\\quelta\\";
inline constexpr const char* kCaption = "Quelta Mail Retriever";

struct TRetrieverSettings {
    std::string rasService = "None"; // [RAS] Service
    bool autoEnabled = true;         // [ProcessorSettings] AutoEnabled
    // [Folders], used as read.
    std::string messagesFolder, agentsFolder, dataBaseFolder;
    // [PWindowPos]
    int left = 25, top = 25, height = 309, width = 359;
};

[[nodiscard]] TRetrieverSettings ReadSettings(const win::TIniFile& ini);
void WriteWindowPos(win::TIniFile& ini, int left, int top, int height, int width);
void WriteAutoEnabled(win::TIniFile& ini, bool on);

enum class TCommand { None, SinglePass, Unknown };
// Only the first parameter counts; "/SINGLEPASS" in any case, anything
// after its eleventh character ignored.
[[nodiscard]] TCommand ParseCommandLine(const std::vector<std::string>& args);
// "Command-line option "<param>" not understood".
[[nodiscard]] std::string UnknownOptionText(const std::string& param);

} // namespace retriever
