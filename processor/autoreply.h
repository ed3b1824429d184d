#pragma once
// What keeps the processor's mail from looping (RFC 3834): automatic
// replies never answer automatic mail, and a message that went round
// between forwarding accounts is not passed on again.
#include <string>
#include <string_view>

class TmsHeaders;
class TmsMessage;

namespace quelta {

// A message that already carries this many of the processor's forward and
// redirect marks is not passed on again.
inline constexpr int kMaxPassedOn = 3;

// Why an automatic reply must not answer the message, or "" when it may:
// it carries a mark of this system's automatic mail, "Auto-Submitted"
// other than "no", or "Precedence" bulk, junk or list; or its sender is
// empty (also a "Return-Path" of "<>"), a mailer daemon or the account's
// own address.
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

} // namespace quelta
