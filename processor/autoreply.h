#pragma once
// What keeps the processor's mail from looping (RFC 3834): automatic
// replies never answer automatic mail, and a message that went round
// between forwarding accounts is not passed on again.
#include <string>
#include <string_view>
#include <vector>

class TmsCustomMessage;
class TmsHeaders;
class TmsMailAddress;
class TmsMessage;

namespace quelta {

// A message that already carries this many of the processor's forward and
// redirect marks is not passed on again.
inline constexpr int kMaxPassedOn = 3;

// However the mail is marked, an account answers one sender at most this
// many times in 24 hours (replies, and mail passed on to that sender).
inline constexpr int kMaxAnswersPerDay = 3;

// Why an automatic reply must not answer the message, or "" when it may
// (what RFC 3834 and RFC 5230 take as automatic): it carries a mark of
// this system's automatic mail, "Auto-Submitted" other than "no" (comments
// anywhere), "X-Autoreply", "X-Autorespond", "Precedence" bulk, junk, list
// or auto_reply, a mailing list's fields ("List-Id", "List-Unsubscribe"
// and the others of RFC 2369), or "X-Auto-Response-Suppress" asking for no
// automatic replies; or its sender is empty (also a "Return-Path" of
// "<>"), a mailer daemon, a list's owner ("owner-...@", "...-request@")
// or the account's own address.
[[nodiscard]] std::string AutomaticMailReason(const TmsMessage& message,
                                              std::string_view accountAddress);

// How many forward and redirect marks of the processor the headers hold.
[[nodiscard]] int PassedOnCount(const TmsHeaders& headers);

// The mailbox an address names: the address itself when it is a plain
// mailbox, else what its encoded words decode to when that is one; "" when
// neither is (no recipient can be made of it).
[[nodiscard]] std::string PlainMailbox(std::string_view address);

// Marks a reply as automatic ("Auto-Submitted: auto-replied" after the
// reply marker) and names the message it answers ("In-Reply-To",
// "References"); such fields copied from a template go first.
void MarkAutomaticReply(TmsHeaders& reply, const TmsHeaders& answered);

// Where texts of several character sets meet, they meet in UTF-8.

// The sender as UTF-8: the display name's encoded words each read in
// their own set, text outside them in the message's.
[[nodiscard]] TmsMailAddress SenderInUtf8(const TmsCustomMessage& message);
// A header field's whole value as UTF-8 (not cut); Content-Type and
// X-UIDL as written, as the header look-up gives them.
[[nodiscard]] std::string HeaderInUtf8(const TmsCustomMessage& message, std::string_view name);
// A body line of the message as UTF-8.
[[nodiscard]] std::string BodyLineInUtf8(const TmsCustomMessage& message, const std::string& line);
// A template's texts as UTF-8, labelled so: its body read in the set it was
// written in, its subject from its field.
void TemplateToUtf8(TmsMessage& message);
// Puts lines (UTF-8) on top of the message's body, in order: in the body's
// own set when it holds them, else with the body made UTF-8.
void InsertLinesOnTop(TmsMessage& message, const std::vector<std::string>& lines);

} // namespace quelta
