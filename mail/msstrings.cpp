#include "mail/msstrings.h"

#include <mutex>
#include <vector>

namespace {

const StringEntry kMailStrings[] = {
    {SSenderRequired, "The address of sender is required"},
    {SRecipientRequired, "At least one Recipient, CC or BCC must be entered"},
    {SMailMessageNotAssigned, "MailMessage property must be assigned"},
    {SUserNameRequired, "UserName property is required"},
    {SPasswordRequired, "Password property is required"},
    {SIDsAreDifferent, "IDs are different"},
    {SMultipartPreamble, "This is a multipart message in MIME format"},
    {SNoClosingBoundary, "Cannot find closing boundary"},
    {SNoBoundary, "Cannot find boundary"},
    {SAttachmentDecodeError, "Error decoding the attachment"},
    {SNewsgroupRequired, "Newsgroup header is required"},
    {SSubjectRequired, "Subject header is required"},
};

struct Tables {
    std::mutex lock;
    std::vector<std::span<const StringEntry>> list{std::span<const StringEntry>(kMailStrings)};
};

Tables& tables() {
    static Tables t;
    return t;
}

const char* find(int id) {
    Tables& t = tables();
    std::lock_guard<std::mutex> guard(t.lock);
    for (const auto& table : t.list)
        for (const StringEntry& e : table)
            if (e.id == id)
                return e.text;
    return nullptr;
}

} // namespace

std::string LoadStr(int id) {
    const char* text = find(id);
    return text ? text : "";
}

bool HasStr(int id) {
    return find(id) != nullptr;
}

void AddStringTable(std::span<const StringEntry> table) {
    Tables& t = tables();
    std::lock_guard<std::mutex> guard(t.lock);
    t.list.push_back(table);
}
