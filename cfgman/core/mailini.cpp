#include "cfgman/core/mailini.h"

#include "cfgman/core/text.h"
#include "platform/win/profile.h"

namespace cfgman {

TMailIni ReadMailIni() {
    const win::TIniFile ini(kMailIniName);
    TMailIni m;
    m.DefaultFromAddress = ini.ReadString("Internet", "DefaultFromAddress", "");
    m.SMTPAddress = Trim(ini.ReadString("Internet", "SMTPAddress", ""));
    m.CloseMail = ini.ReadBool("Internet", "CloseMail", true);
    return m;
}

std::string CustomSendNothingSent(const std::string& server) {
    return "Nothing was sent. Custom Send only checks that MAIL.INI names an SMTP server (" +
           server + "); it sends no mail.";
}

} // namespace cfgman
