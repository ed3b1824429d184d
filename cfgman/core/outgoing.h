#pragma once
// Mail the configuration manager makes for sending, beside an outbox
// message that goes out as stored: a sent item sent again, and the copies
// of Custom Send.
#include "mail/msmsg.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class TmsSMTP;

namespace cfgman {

// ---- sending a sent item again ----

// What a sent row says of its message, with its fields' widths: a value
// that fills its field may have been cut when the row was written.
struct TSentRow {
    std::string ToAddress, ToName, Subject;
    std::size_t ToAddressWidth = 0, ToNameWidth = 0, SubjectWidth = 0;
};

// Fills out for sending the stored message again: the row's recipient as
// the only one, the account as sender, the row's subject, and the stored
// message's body, attachments, character set and priority. A row value
// that fills its field and begins the stored message's own value (its
// first To entry, its subject) was cut there; the stored value is taken.
void MakeResendMessage(const TmsMessage& stored, const TSentRow& row, const std::string& fromName,
                       const std::string& fromAddress, TmsMessage& out);

// ---- Custom Send ----

inline constexpr int kMaxCopies = 10000;

// What the received-message window shows, its texts as bytes in Charset.
struct TShownMessage {
    // The texts' character set; "" when they hold ASCII only.
    std::string Charset;
    // "box" or "Name <box>".
    std::string From;
    // Entries separated by ";" (or ","), each "box" or "Name <box>".
    std::string Recipients, CC;
    std::string Subject;
    TStringList Body;
    // Files attached in this order.
    std::vector<std::string> Attachments;
};

// Fills out with the shown message in the chosen character set and
// encoding. Raises EMessageError naming what is missing or wrong: no From
// address, no recipient, an entry that is no mail address.
void MakeCustomSendMessage(const TShownMessage& shown, TCharSet charSet, TMsgEncoding encoding,
                           TmsMessage& out);

struct TCopiesResult {
    int Total = 0;
    int Sent = 0;
    bool Cancelled = false;
    // What stopped the copies ("" when nothing failed): a server's reply,
    // a network or a message failure.
    std::string Error;
};

// Sends copies (1 to kMaxCopies) separate messages, each a fresh copy of
// message, in one session with server. proceed(n, copies) runs before copy
// n (from 1); false stops there, and what went out stays sent. The session
// ends in every case; the first failure is the one reported. MailMessage
// of smtp is what it was before.
[[nodiscard]] TCopiesResult SendCopies(TmsSMTP& smtp, const std::string& server,
                                       const TmsMessage& message, int copies,
                                       const std::function<bool(int n, int copies)>& proceed);

// The status line of a finished, stopped or failed Custom Send.
[[nodiscard]] std::string CopiesLogLine(const TCopiesResult& result, const std::string& server);

} // namespace cfgman
