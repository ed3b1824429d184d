#pragma once
// What the message editors put into a message and the texts they show:
// the fields a window holds, copied into its message on save, and the
// captions and questions built from them.
#include <string>
#include <vector>

class TmsMessage;

namespace cfgman {

inline constexpr const char* kAppTitle = "Quelta Mail Management System";
inline constexpr const char* kNewMessageCaption = "New Message";
inline constexpr const char* kReceivedMessageCaption = "Received Message";
inline constexpr const char* kSubjectPrompt = "< Click here to enter the subject >";
inline constexpr const char* kSubjectHint = "Click here to enter the subject";
inline constexpr const char* kRecipientsPrompt = "< Click here to enter the recipients >";
inline constexpr const char* kRecipientsHint =
    "Click here to enter the recipients names, seperated by semicolons";
inline constexpr const char* kCcPrompt = "< Click here to enter the carbon copy recipients >";
inline constexpr const char* kCcHint =
    "Click here to enter the recipients names, seperated by semicolons.";

// The window's own fields of an outgoing message.
struct TEditorFields {
    std::string SenderName, SenderAddress;
    std::string Subject;
    std::vector<std::string> Body;
    // Full paths, in row order.
    std::vector<std::string> Attachments;
    // The character set the subject and body bytes are in; "" keeps the
    // message's own.
    std::string Charset;
};

// Copies the fields into the message. Recipients, carbon copies, the other
// header lines, priority and receipt request of a loaded message stay, so a
// message saved again can still be sent; the sender stays too when the
// window has no sender address of its own. The subject is cut to 255
// characters. A file that cannot be read raises and leaves the message's
// attachments as far as they got.
void PopulateMessage(TmsMessage& message, const TEditorFields& fields);

// "%s - %s": the file-name part of the path and the application title.
[[nodiscard]] std::string FileCaption(const std::string& path);
// The caption while the subject is typed: the subject, or "New Message".
[[nodiscard]] std::string SubjectCaption(const std::string& subject);
// "Save changes to %s?", or "Save changes?" without a file.
[[nodiscard]] std::string SaveChangesQuestion(const std::string& file);
[[nodiscard]] std::string OverwriteQuestion(const std::string& file);

[[nodiscard]] std::string ReplySubject(const std::string& subject);
// "Forward from " + the account name (its address when it has none) + ": " + subject.
[[nodiscard]] std::string ForwardSubject(const std::string& accountName,
                                         const std::string& accountAddress,
                                         const std::string& subject);

} // namespace cfgman
