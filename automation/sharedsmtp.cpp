#include "automation/sharedsmtp.h"
#include "mail/mssmtp.h"

#include <memory>

namespace quelta {

namespace {

std::unique_ptr<TmsSMTP> gSmtp;

TmsSMTP& Smtp() {
    if (!gSmtp) {
        auto smtp = std::make_unique<TmsSMTP>();
        smtp->SetDefaultPort(25);
        if (TagSocket::IsWinsockAvailable())
            smtp->SetWinsockLoaded(true);
        gSmtp = std::move(smtp);
    }
    return *gSmtp;
}

} // namespace

TagSocket& SharedSmtp() {
    return Smtp();
}

void SendMessage(TmsMessage& message) {
    TmsSMTP& smtp = Smtp();
    // The message object may go away before the component: never leave it
    // pointing at the message.
    struct Detach {
        TmsSMTP& smtp;
        ~Detach() { smtp.SetMailMessage(nullptr); }
    } detach{smtp};
    smtp.SetMailMessage(&message);
    smtp.Send();
}

void SendMessageVia(TmsMessage& message, const std::string& server) {
    TmsSMTP& smtp = Smtp();
    struct Restore {
        TmsSMTP& smtp;
        std::string server;
        ~Restore() { smtp.SetServer(server); }
    } restore{smtp, smtp.Server()};
    smtp.SetServer(server);
    SendMessage(message);
}

} // namespace quelta
