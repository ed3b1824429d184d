#include "cfgman/core/messagefields.h"

#include "mail/msmsg.h"
#include "platform/win/paths.h"

namespace cfgman {

void PopulateMessage(TmsMessage& message, const TEditorFields& fields) {
    if (!fields.SenderAddress.empty()) {
        message.Sender().SetName(fields.SenderName);
        message.Sender().SetAddress(fields.SenderAddress);
    }
    TStringList body;
    for (const std::string& line : fields.Body)
        body.Add(line);
    message.SetBody(body);
    if (!fields.Charset.empty())
        message.SetCharsetName(fields.Charset);
    message.SetSubject(fields.Subject);
    // What the parser stored for a single-part message no longer describes
    // the body the window wrote.
    message.SetContentType("text/plain");
    message.Attachments().Clear();
    for (const std::string& path : fields.Attachments)
        message.Attachments().AddFile(path);
}

std::string FileCaption(const std::string& path) {
    return win::ExtractFileName(path) + " - " + kAppTitle;
}

std::string SubjectCaption(const std::string& subject) {
    return subject.empty() ? kNewMessageCaption : subject;
}

std::string SaveChangesQuestion(const std::string& file) {
    return file.empty() ? "Save changes?" : "Save changes to " + file + "?";
}

std::string OverwriteQuestion(const std::string& file) {
    return "OK to overwrite " + file;
}

std::string ReplySubject(const std::string& subject) {
    return "Re: " + subject;
}

std::string ForwardSubject(const std::string& accountName, const std::string& accountAddress,
                           const std::string& subject) {
    return "Forward from " + (accountName.empty() ? accountAddress : accountName) + ": " + subject;
}

} // namespace cfgman
