#pragma once
// MAIL.INI, the outgoing-mail settings of Custom Send, in the Windows
// directory, section [Internet]: read by Custom Send, written by the
// preferences.
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
// Writes DefaultFromAddress and SMTPAddress (without its outer blanks);
// the other lines of the file stay as they are.
void WriteMailIni(const TMailIni& mail);

} // namespace cfgman
