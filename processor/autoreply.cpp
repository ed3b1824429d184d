#include "processor/autoreply.h"

#include "mail/mscharset.h"
#include "mail/msmime.h"
#include "mail/msmsg.h"
#include "mail/msutils.h"
#include "processor/store.h"

#include <vector>

namespace quelta {

namespace {

// The name part of a marker line ("X-QueltaForward: True" gives
// "X-QueltaForward").
std::string MarkerName(std::string_view marker) {
    return Trim(marker.substr(0, marker.find(':')));
}

// The first word of a field value, lower-cased, without comments or
// parameters: "(vacation) Auto-Replied; x=1" gives "auto-replied".
std::string Keyword(std::string_view value) {
    std::string bare;
    int depth = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (depth > 0 && c == '\\')
            ++i; // an escaped character of the comment
        else if (c == '(')
            ++depth;
        else if (c == ')' && depth > 0)
            --depth;
        else if (depth == 0)
            bare += c;
    }
    bare = Trim(bare.substr(0, bare.find(';')));
    return LowerCase(bare.substr(0, bare.find_first_of(" \t")));
}

// The words of a list value ("DR, OOF; x"), lower-cased.
std::vector<std::string> Words(std::string_view value) {
    std::vector<std::string> words;
    std::string word;
    for (char c : value) {
        if (c == ',' || c == ';' || c == ' ' || c == '\t') {
            if (!word.empty())
                words.push_back(LowerCase(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(LowerCase(word));
    return words;
}

} // namespace

std::string AutomaticMailReason(const TmsMessage& message, std::string_view accountAddress) {
    const TmsHeaders& h = message.Headers();
    for (const char* marker : {kAutoReplyMarker, kForwardMarker, kRedirectMarker}) {
        const std::string name = MarkerName(marker);
        if (h.CountFields(name) > 0)
            return "the message is automatic mail (" + name + ")";
    }
    const std::string submitted = Keyword(h.GetRawFieldValue("Auto-Submitted"));
    if (!submitted.empty() && submitted != "no")
        return "the message is automatic mail (Auto-Submitted: " + submitted + ")";
    for (const char* name : {"X-Autoreply", "X-Autorespond"})
        if (h.CountFields(name) > 0 && Keyword(h.GetRawFieldValue(name)) != "no")
            return std::string("the message is automatic mail (") + name + ")";
    const std::string precedence = Keyword(h.GetRawFieldValue("Precedence"));
    if (precedence == "auto_reply")
        return "the message is automatic mail (Precedence: auto_reply)";
    if (precedence == "bulk" || precedence == "junk" || precedence == "list")
        return "the message is bulk or list mail (Precedence: " + precedence + ")";
    for (const char* name : {"List-Id", "List-Unsubscribe", "List-Help", "List-Subscribe",
                             "List-Post", "List-Owner", "List-Archive"})
        if (h.CountFields(name) > 0)
            return std::string("the message is list mail (") + name + ")";
    for (const std::string& word : Words(h.GetRawFieldValue("X-Auto-Response-Suppress")))
        if (word == "all" || word == "oof" || word == "autoreply")
            return "the message asks for no automatic reply (X-Auto-Response-Suppress: " +
                   Trim(h.GetRawFieldValue("X-Auto-Response-Suppress")) + ")";
    std::string returnPath = h.GetRawFieldValue("Return-Path");
    std::erase(returnPath, ' ');
    if (returnPath == "<>")
        return "the message has no sender (Return-Path: <>)";
    const std::string& raw = message.Sender().Address();
    if (Trim(raw).empty())
        return "the message has no sender";
    const std::string plain = PlainMailbox(raw);
    const std::string sender = plain.empty() ? raw : plain;
    const std::string local = LowerCase(sender.substr(0, sender.rfind('@')));
    if (local == "mailer-daemon" || local == "postmaster")
        return "the sender is a mailer daemon (" + sender + ")";
    if (local.starts_with("owner-") || local.ends_with("-request"))
        return "the sender is a mailing list (" + sender + ")";
    if (!accountAddress.empty() && SameText(Trim(accountAddress), sender))
        return "the sender is the account's own address (" + sender + ")";
    return {};
}

int PassedOnCount(const TmsHeaders& headers) {
    return headers.CountFields(MarkerName(kForwardMarker)) +
           headers.CountFields(MarkerName(kRedirectMarker));
}

std::string PlainMailbox(std::string_view address) {
    const std::string trimmed = Trim(address);
    if (IsPlainMailbox(trimmed))
        return trimmed;
    const std::string decoded = Trim(DecodeHeaderWords(trimmed));
    return IsPlainMailbox(decoded) ? decoded : std::string();
}

void MarkAutomaticReply(TmsHeaders& reply, const TmsHeaders& answered) {
    for (const char* name : {"Auto-Submitted", "In-Reply-To", "References"})
        while (reply.CountFields(name) > 0)
            reply.DeleteField(name);
    const int marker = reply.IndexOf(kAutoReplyMarker);
    reply.Insert(marker < 0 ? reply.Count() : marker + 1, "Auto-Submitted: auto-replied");
    const std::string id = Trim(answered.GetRawFieldValue("Message-ID"));
    if (id.empty())
        return;
    const std::string references = Trim(answered.GetRawFieldValue("References"));
    reply.Add("In-Reply-To: " + id);
    reply.Add("References: " + (references.empty() ? id : references + " " + id));
}

TmsMailAddress SenderInUtf8(const TmsCustomMessage& message) {
    TmsMailAddress sender;
    const std::vector<std::string> from = message.Headers().GetAddressPieces("From");
    if (from.empty()) {
        sender.Assign(message.Sender());
        sender.SetName(TextToUtf8(sender.Name(), message.CharsetName()));
        return sender;
    }
    ParseMailAddress(from.front(), sender);
    sender.SetName(DecodeHeaderText(sender.Name(), message.CharsetName()));
    return sender;
}

std::string HeaderInUtf8(const TmsCustomMessage& message, std::string_view name) {
    const std::string raw = message.Headers().GetRawFieldValue(name);
    if (SameText(name, "Content-Type") || SameText(name, "X-UIDL"))
        return raw;
    return DecodeHeaderText(raw, message.CharsetName());
}

std::string BodyLineInUtf8(const TmsCustomMessage& message, const std::string& line) {
    return TextToUtf8(line, message.CharsetName());
}

void TemplateToUtf8(TmsMessage& message) {
    const std::string charset = message.CharsetName();
    const std::string body = message.Body().Text();
    if (!IsAscii(body))
        message.Body().SetText(TextToUtf8(body, charset));
    if (message.Headers().CountFields("Subject") > 0)
        message.SetSubject(HeaderInUtf8(message, "Subject"));
    else
        message.SetSubject(TextToUtf8(message.Subject(), charset));
    message.SetCharsetName("utf-8");
}

void InsertLinesOnTop(TmsMessage& message, const std::vector<std::string>& lines) {
    std::string added;
    for (const std::string& l : lines)
        added += l;
    TStringList& body = message.Body();
    if (!IsAscii(added)) {
        const std::string text = body.Text();
        std::string charset = LowerCase(Trim(message.CharsetName()));
        if (charset.empty() || charset == "us-ascii")
            charset = IsAscii(text) || IsUtf8(text) ? "utf-8" : "windows-1252";
        std::vector<std::string> converted;
        bool fits = true;
        for (const std::string& l : lines) {
            std::string c;
            fits = fits && FromUtf8(l, charset, c);
            converted.push_back(std::move(c));
        }
        if (fits) {
            message.SetCharsetName(charset);
            for (size_t i = lines.size(); i-- > 0;)
                body.Insert(0, converted[i]);
            return;
        }
        // The body's set cannot hold them: all of it in UTF-8.
        body.SetText(TextToUtf8(text, charset));
        message.SetCharsetName("utf-8");
    }
    for (size_t i = lines.size(); i-- > 0;)
        body.Insert(0, lines[i]);
}

} // namespace quelta
