#include "processor/autoreply.h"

#include "mail/msmime.h"
#include "mail/msmsg.h"
#include "mail/msutils.h"
#include "processor/store.h"

namespace quelta {

namespace {

// The name part of a marker line ("X-QueltaForward: True" gives
// "X-QueltaForward").
std::string MarkerName(std::string_view marker) {
    return Trim(marker.substr(0, marker.find(':')));
}

// The first word of a field value, lower-cased, without comments or
// parameters: "Auto-Replied (vacation); x=1" gives "auto-replied".
std::string Keyword(std::string value) {
    if (const size_t cut = value.find_first_of("(;"); cut != std::string::npos)
        value.resize(cut);
    return LowerCase(Trim(value));
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
    const std::string precedence = Keyword(h.GetRawFieldValue("Precedence"));
    if (precedence == "bulk" || precedence == "junk" || precedence == "list")
        return "the message is bulk or list mail (Precedence: " + precedence + ")";
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

} // namespace quelta
