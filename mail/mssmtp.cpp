#include "mail/mssmtp.h"

#include "mail/msoutgoing.h"
#include "mail/msstrings.h"
#include "platform/win/datetime.h"

#include <exception>

std::string TSmtpDotStuffer::Feed(std::string_view chunk) {
    std::string out;
    out.reserve(chunk.size() + chunk.size() / 64 + 1);
    for (char c : chunk) {
        if (lineStart_ && c == '.')
            out += '.';
        out += c;
        lineStart_ = c == '\n';
        crlf_ = last_ == '\r' && c == '\n';
        last_ = c;
    }
    return out;
}

TmsSMTP::TmsSMTP() {
    serviceName_ = "smtp";
    SetDefaultPort(25);
}

void TmsSMTP::Expect(int code, int low, int high) {
    if (code < low || code > high)
        throw EServerError(LastReply());
}

void TmsSMTP::Open() {
    if (Server().empty())
        RaiseError(SServerRequired);
    Reset();
    TagSocket::Open();
}

void TmsSMTP::Login() {
    Connect();
    Expect(ReadReply(), 220, 220);
    SendLine("HELO " + LocalHostName());
    if (ReadReply() == 250)
        return;
    SendLine("HELO");
    Expect(ReadReply(), 200, 300);
}

void TmsSMTP::Logout() {
    ProcessMessages();
    SendLine("QUIT");
    Expect(ReadReply(), 221, 221);
}

void TmsSMTP::SendMessage() {
    if (!mailMessage_)
        RaiseError(SMailMessageNotAssigned);
    TmsMessage& msg = *mailMessage_;
    msg.Validate();
    stream_ = std::make_unique<TTempFileStream>();
    struct Release {
        std::unique_ptr<TTempFileStream>& s;
        ~Release() { s.reset(); }
    } release{stream_};

    if (OnPrepare)
        OnPrepare(*this);
    notes_.clear();
    msg.SaveForSending(*stream_);
    stream_->flush();

    if (OnSending)
        OnSending(*this);
    const std::string& sender = msg.Sender().Address();
    if (!sender.empty()) {
        SendLine("MAIL FROM:<" + sender + ">");
        Expect(ReadReply(), 250, 250);
    }
    for (const TmsAddressList* list : {&msg.Recipients(), &msg.CC(), &msg.BCC()})
        for (int i = 0; i < list->Count(); ++i) {
            const std::string& address = list->GetItem(i).Address();
            if (address.empty())
                continue; // an empty entry names nobody
            SendLine("RCPT TO:<" + address + ">");
            Expect(ReadReply(), 250, 251);
        }
    SendLine("DATA");
    Expect(ReadReply(), 354, 354);

    // The copy that goes out carries the date and identity of this send.
    // Every line that starts with "." gets another, so the data arrives as
    // written; the end mark's line break is sent only when the text lacks one.
    TOutgoingStamp stamp;
    stamp.Date = MailDateText(win::NowUnix());
    std::string domain = ::MessageIDDomain(messageIdDomain_);
    if (domain.empty())
        domain = ::MessageIDDomain(sender);
    if (domain.empty())
        domain = ::MessageIDDomain(LocalHostName());
    stamp.MessageID = MakeMessageID(domain);
    TOutgoingFilter outgoing(std::move(stamp));
    TSmtpDotStuffer stuffer;
    SendStream(*stream_, [&](std::string_view chunk, bool last) {
        return stuffer.Feed(outgoing.Feed(chunk, last));
    });
    notes_ = outgoing.Notes();
    if (!stuffer.AtLineEnd())
        SendLine("");
    SendLine(".");
    Expect(ReadReply(), 250, 250);
    if (OnMailSent)
        OnMailSent(*this);
}

void TmsSMTP::Send() {
    std::exception_ptr first;
    try {
        ConnectIfNeeded();
        SendMessage();
    } catch (...) {
        first = std::current_exception();
    }
    try {
        if (IsOpen())
            Disconnect();
        else
            Close(); // no socket: still hangs up a dial-up link made for it
    } catch (...) {
        if (!first)
            first = std::current_exception();
    }
    if (first)
        std::rethrow_exception(first);
}
