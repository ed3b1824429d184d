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

void WriteMailIni(const TMailIni& mail) {
    win::TIniFile ini(kMailIniName);
    ini.WriteString("Internet", "DefaultFromAddress", mail.DefaultFromAddress);
    ini.WriteString("Internet", "SMTPAddress", Trim(mail.SMTPAddress));
}

} // namespace cfgman
