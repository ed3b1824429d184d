#pragma once
// MAIL.INI, the outgoing-mail defaults of the custom-send dialog: read
// only, from the Windows directory, section [Internet].
namespace win {
class TIniFile;
}

#include <string>

namespace cfgman {

inline constexpr const char* kMailIniName = "MAIL.INI";

struct TMailIni {
    std::string DefaultFromAddress;
    // Without leading and trailing blanks; "" when none is set.
    std::string SMTPAddress;
    bool CloseMail = true;
};

[[nodiscard]] TMailIni ReadMailIni();

// What Custom Send says when MAIL.INI names a server: that it sent nothing.
[[nodiscard]] std::string CustomSendNothingSent(const std::string& server);

} // namespace cfgman
