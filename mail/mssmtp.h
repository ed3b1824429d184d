#pragma once
// TmsSMTP: sends one message over one connection: greeting, HELO, MAIL
// FROM, RCPT for every To, CC and BCC address, DATA, the composed message,
// QUIT. No extended greeting, authentication or pipelining.
//
//   Send:  ConnectIfNeeded (Open, Login) -> SendMessage -> Disconnect (QUIT, close)
//   Login: connect, 220 greeting, "HELO <host>" 250 (else bare "HELO" 2xx)
//   SendMessage: validate, compose into a temporary file, MAIL FROM 250,
//          RCPT TO 250/251 each, DATA 354, the text dot-stuffed, "." 250
//
// What goes out is composed for sending (7-bit text, mail/mspars.h) and
// stamped for this send (mail/msoutgoing.h): the moment of sending, a
// Message-ID of its own, no trace fields of an earlier delivery, no line
// over 998 characters.
#include "mail/mailbase.h"
#include "mail/mscls.h"
#include "mail/msmsg.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Doubles a "." that starts a line, so no line of the data ends it early;
// remembers whether the text so far ends with a line break.
class TSmtpDotStuffer {
public:
    [[nodiscard]] std::string Feed(std::string_view chunk);
    // True before any text and after text ending in CR LF.
    [[nodiscard]] bool AtLineEnd() const { return crlf_; }

private:
    bool lineStart_ = true;
    bool crlf_ = true;
    char last_ = '\n';
};

class TmsSMTP : public TmsMailBase {
public:
    TmsSMTP();

    // Not owned; the caller keeps it alive for the send.
    [[nodiscard]] TmsMessage* MailMessage() const { return mailMessage_; }
    void SetMailMessage(TmsMessage* message) { mailMessage_ = message; }

    TmsNotifyEvent OnPrepare, OnSending, OnMailSent;

    // What the last send had to change in the message's text beyond its
    // date and identity (a word cut, an identifier left out), one line
    // each; empty when it went as composed.
    [[nodiscard]] const std::vector<std::string>& Notes() const { return notes_; }
    // The domain (or an address on it) of new Message-IDs; empty: the
    // sender's domain, else the local host name.
    [[nodiscard]] const std::string& MessageIDDomain() const { return messageIdDomain_; }
    void SetMessageIDDomain(std::string domain) { messageIdDomain_ = std::move(domain); }

    // Connects when needed, sends MailMessage and always disconnects; the
    // first failure is the one raised.
    void Send();
    // Sends MailMessage over the open connection.
    void SendMessage();

    void Open() override;
    void Login() override;
    void Logout() override;

private:
    // Raises EServerError with the last reply unless the code is accepted.
    void Expect(int code, int low, int high);

    TmsMessage* mailMessage_ = nullptr;
    std::unique_ptr<TTempFileStream> stream_;
    std::vector<std::string> notes_;
    std::string messageIdDomain_;
};
