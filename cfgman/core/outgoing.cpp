#include "cfgman/core/outgoing.h"

#include "cfgman/core/text.h"
#include "mail/mssmtp.h"
#include "mail/msutils.h"

#include <string_view>

namespace cfgman {

namespace {

// The row's value, or the stored one when the row holds it cut: a stored
// value longer than the field whose first field-width characters are the
// row's.
std::string Uncut(const std::string& row, std::size_t width, const std::string& stored) {
    if (!row.empty() && width > 0 && stored.size() > width && Trim(stored.substr(0, width)) == row)
        return stored;
    return row;
}

// A mailbox the SMTP envelope can carry: local part "@" domain, no blanks,
// control characters or angle brackets, except blanks inside a quoted
// local part ("john doe"@example.com).
bool IsMailbox(std::string_view box) {
    const std::size_t at = box.rfind('@');
    if (at == std::string_view::npos || at == 0 || at + 1 == box.size())
        return false;
    const bool quoted = at >= 2 && box.front() == '"' && box[at - 1] == '"';
    for (std::size_t i = 0; i < box.size(); ++i) {
        const char c = box[i];
        if (quoted && i < at && c == ' ')
            continue;
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f || c == '<' || c == '>')
            return false;
    }
    return true;
}

TmsMailAddress ParseEntry(const std::string& entry) {
    TmsMailAddress address;
    ParseMailAddress(entry, address);
    if (!IsMailbox(address.Address()))
        throw EMessageError("\"" + entry + "\" is not a mail address");
    return address;
}

// Entries separated by semicolons, as the window's fields hold them, or
// by commas, as header fields do.
void AddEntries(const std::string& text, TmsAddressList& list) {
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t end = text.find(';', from);
        if (end == std::string::npos)
            end = text.size();
        for (const std::string& entry : SplitAddressList(text.substr(from, end - from))) {
            const TmsMailAddress address = ParseEntry(entry);
            list.Add(address.Address(), address.Name());
        }
        from = end + 1;
    }
}

std::string Copies(int n) {
    return std::to_string(n) + (n == 1 ? " copy" : " copies");
}

} // namespace

void MakeResendMessage(const TmsMessage& stored, const TSentRow& row, const std::string& fromName,
                       const std::string& fromAddress, TmsMessage& out) {
    std::string storedAddress, storedName;
    if (stored.Recipients().Count() > 0) {
        storedAddress = stored.Recipients()[0].Address();
        storedName = stored.Recipients()[0].Name();
    }
    out.Clear();
    const std::string toAddress = Uncut(Trim(row.ToAddress), row.ToAddressWidth, storedAddress);
    // Without an address there is no recipient, and sending says so.
    if (!toAddress.empty())
        out.Recipients().Add(toAddress, Uncut(Trim(row.ToName), row.ToNameWidth, storedName));
    out.SetSubject(Uncut(Trim(row.Subject), row.SubjectWidth, stored.Subject()));
    out.Sender().SetName(fromName);
    out.Sender().SetAddress(fromAddress);
    out.SetBody(stored.Body());
    out.SetAttachments(stored.Attachments());
    // The stored text keeps the character set it was written in.
    out.SetCharSet(stored.CharSet());
    out.SetCharsetName(stored.CharsetName());
    out.SetEncoding(stored.Encoding());
    out.SetPriority(stored.Priority());
    out.SetReturnReceipt(stored.ReturnReceipt());
}

void MakeCustomSendMessage(const TShownMessage& shown, TCharSet charSet, TMsgEncoding encoding,
                           TmsMessage& out) {
    out.Clear();
    const std::string from = Trim(shown.From);
    if (from.empty())
        throw EMessageError("Custom Send needs a From address");
    out.SetSender(ParseEntry(from));
    AddEntries(shown.Recipients, out.Recipients());
    AddEntries(shown.CC, out.CC());
    if (out.Recipients().Count() == 0 && out.CC().Count() == 0)
        throw EMessageError("Custom Send needs a recipient");
    out.SetSubject(shown.Subject);
    out.SetBody(shown.Body);
    out.SetCharSet(charSet);
    out.SetCharsetName(shown.Charset);
    out.SetEncoding(encoding);
    for (const std::string& path : shown.Attachments)
        out.Attachments().AddFile(path);
}

TCopiesResult SendCopies(TmsSMTP& smtp, const std::string& server, const TmsMessage& message,
                         int copies, const std::function<bool(int n, int copies)>& proceed) {
    if (copies < 1 || copies > kMaxCopies)
        throw EMessageError("The number of copies must be from 1 to " + std::to_string(kMaxCopies));
    TCopiesResult result;
    result.Total = copies;
    TmsMessage* const before = smtp.MailMessage();
    // Sending writes into the message it sends, so each copy starts afresh.
    TmsMessage copy;
    smtp.SetServer(server);
    smtp.SetMailMessage(&copy);
    try {
        for (int n = 1; n <= copies; ++n) {
            if (proceed && !proceed(n, copies)) {
                result.Cancelled = true;
                break;
            }
            copy.Assign(message);
            smtp.ConnectIfNeeded();
            smtp.SendMessage();
            ++result.Sent;
        }
    } catch (const std::exception& e) {
        result.Error = e.what();
    }
    try {
        smtp.Disconnect();
    } catch (const std::exception& e) {
        if (result.Error.empty())
            result.Error = e.what();
    }
    smtp.SetMailMessage(before);
    return result;
}

std::string CopiesLogLine(const TCopiesResult& result, const std::string& server) {
    const std::string of = std::to_string(result.Sent) + " of " + Copies(result.Total);
    if (!result.Error.empty())
        return "Custom Send failed after " + of + " through " + server + ": " + result.Error;
    if (result.Cancelled)
        return "Custom Send stopped: " + of + " sent through " + server + ".";
    return "Custom Send: " + Copies(result.Sent) + " sent through " + server + ".";
}

} // namespace cfgman
