#include "mail/msmsg.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>

#include "mail/msmime.h"
#include "mail/msstrings.h"
#include "mail/msutils.h"
#include "platform/win/paths.h"

namespace {

std::string bareLowerName(const std::string& fileName) {
    return LowerCase(win::ExtractFileName(fileName));
}

bool anyAddress(const TmsAddressList& list) {
    for (int i = 0; i < list.Count(); ++i)
        if (!list[i].Address().empty())
            return true;
    return false;
}

} // namespace

// --- TmsCustomMessage -----------------------------------------------------

TmsCustomMessage::TmsCustomMessage() = default;
TmsCustomMessage::~TmsCustomMessage() = default;

void TmsCustomMessage::SetSubject(std::string_view subject) {
    subject_ = Cut255(subject);
}

void TmsCustomMessage::SetHeaders(const TStringList& headers) {
    headers_.Clear();
    for (const std::string& line : headers)
        headers_.Add(line);
}

void TmsCustomMessage::SetAttachments(const TmsAttList& attachments) {
    attachments_.Assign(attachments);
    contentType_ = attachments_.Count() == 0 ? "text/plain" : "multipart/mixed";
}

std::string TmsCustomMessage::GetContentType() const {
    std::string result;
    const int count = attachments_.Count();
    const bool emptyBody = body_.Empty();
    auto allAlt = [&] {
        for (int i = 0; i < count; ++i)
            if (!bareLowerName(attachments_[i].FileName()).starts_with("_alt."))
                return false;
        return count > 0;
    };
    if (encoding_ == meUU) {
        result.clear();
    } else if (allAlt()) {
        result = "multipart/alternative";
    } else if (count == 1 && emptyBody &&
               bareLowerName(attachments_[0].FileName()) == "_rtfbody.rtf") {
        result = "text/rtf";
    } else if (count == 1 && emptyBody &&
               bareLowerName(attachments_[0].FileName()) == "_htmbody.htm") {
        result = "text/html";
    } else if (emptyBody) {
        result = count == 1   ? attachments_[0].ContentType()
                 : count == 0 ? "text/plain"
                              : "multipart/mixed";
    } else if (count > 0) {
        result = "multipart/mixed";
    } else {
        result = contentType_.empty() ? "text/plain" : contentType_;
    }
    contentType_ = Cut255(result);
    return contentType_;
}

void TmsCustomMessage::SetContentType(std::string_view type) {
    contentType_ = Cut255(LowerCase(type));
}

void TmsCustomMessage::Validate() const {
    if (sender_.Address().empty())
        throw EMessageError(LoadStr(SSenderRequired));
}

void TmsCustomMessage::Clear() {
    body_.Clear();
    attachments_.Clear();
    sender_.Clear();
    headers_.Clear();
    subject_.clear();
    encoding_ = meMIME;
    charSet_ = csUSASCII;
    charsetName_.clear();
    contentType_.clear();
}

void TmsCustomMessage::Assign(const TmsCustomMessage& source) {
    if (&source == this)
        return;
    sender_.Assign(source.sender_);
    subject_ = source.subject_;
    encoding_ = source.encoding_;
    charSet_ = source.charSet_;
    charsetName_ = source.charsetName_;
    headers_ = source.headers_;
    body_ = source.body_;
    attachments_.Assign(source.attachments_);
    contentType_ = source.GetContentType();
    tag_ = source.tag_;
}

void TmsCustomMessage::SaveToFile(const std::string& fileName) {
    // Written beside the target and renamed over it, so a program reading
    // the folder never sees half a message, and a failed save leaves the
    // old file as it was.
    const std::string path = win::ResolvePath(fileName);
    std::string temp;
    for (int n = 0;; ++n) {
        // Named as WriteFileWhole names its files, so a kill's leftover is
        // found and removed the same way.
        temp = path + ".~" + std::to_string(::getpid()) + "." + std::to_string(n) + ".part";
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            break;
        }
        if (errno != EEXIST || n > 1000)
            RaiseFileCreateError(fileName);
    }
    try {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            RaiseFileCreateError(fileName);
        SaveToStream(out);
        out.close();
        if (!out)
            RaiseFileCreateError(fileName);
        if (std::rename(temp.c_str(), path.c_str()) != 0)
            RaiseFileCreateError(fileName);
    } catch (...) {
        std::remove(temp.c_str());
        throw;
    }
}

void TmsCustomMessage::SaveForSending(std::ostream& stream) {
    struct Flag {
        bool& on;
        ~Flag() { on = false; }
    } flag{forSending_};
    forSending_ = true;
    SaveToStream(stream);
}

void TmsCustomMessage::LoadFromFile(const std::string& fileName) {
    Clear();
    std::ifstream in(win::ResolvePath(fileName), std::ios::binary);
    if (!in)
        RaiseFileOpenError(fileName);
    LoadFromStream(in);
}

void TmsCustomMessage::SaveAttachment(int index, const std::string& directory) {
    const TmsAttItem& item = attachments_[index];
    // Names come from mail: only the last component counts, and it must
    // name a file inside the folder.
    std::string name = win::ExtractFileName(item.FileName());
    name.erase(std::remove_if(name.begin(), name.end(),
                              [](char c) { return static_cast<unsigned char>(c) < 32; }),
               name.end());
    if (name.empty() || name == "." || name == "..")
        throw EFCreateError("Invalid attachment file name \"" + item.FileName() + "\"");
    std::string path = directory;
    if (!path.empty() && path.back() != '\\' && path.back() != '/')
        path += '/';
    path = win::ResolvePath(path + name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        RaiseFileCreateError(path);
    out.write(item.Data().data(), static_cast<std::streamsize>(item.Data().size()));
    out.close();
    if (!out)
        RaiseFileCreateError(path);
}

// --- TmsMessage -----------------------------------------------------------

void TmsMessage::Validate() const {
    TmsCustomMessage::Validate();
    if (!anyAddress(recipients_) && !anyAddress(cc_) && !anyAddress(bcc_))
        throw EMessageError(LoadStr(SRecipientRequired));
}

void TmsMessage::Clear() {
    TmsCustomMessage::Clear();
    recipients_.Clear();
    cc_.Clear();
    bcc_.Clear();
}

void TmsMessage::ParseHeaders(const TmsHeaders& headers) {
    ParseHeaders(headers, true);
}

namespace {

void parseAddress(std::string_view text, TmsMailAddress& address) {
    ParseMailAddress(text, address);
    // The display name's encoded words are decoded after the parse, so a
    // decoded "<" or quote cannot change where the address is.
    address.SetName(DecodeHeaderWords(address.Name()));
}

void addAddresses(const TmsHeaders& headers, std::string_view field, TmsAddressList& list) {
    for (const std::string& piece : headers.GetAddressPieces(field)) {
        auto entry = std::make_unique<TmsMailAddress>();
        parseAddress(piece, *entry);
        if (!entry->Address().empty() || !entry->Name().empty())
            list.AddItem(std::move(entry));
    }
}

} // namespace

void TmsMessage::ParseHeaders(const TmsHeaders& headers, bool addAddresses_) {
    const std::vector<std::string> from = headers.GetAddressPieces("From");
    if (!from.empty())
        parseAddress(from.front(), Sender());
    else
        Sender().Clear();
    if (addAddresses_) {
        addAddresses(headers, "To", recipients_);
        addAddresses(headers, "CC", cc_);
    }
    const std::string subject = headers.GetFieldValue("Subject");
    if (!subject.empty())
        SetSubject(subject);
    const std::string priority = headers.GetFieldValue("X-Priority");
    priority_ = priority == "1" ? ptHigh : priority == "5" ? ptLow : ptNormal;
    // The loaded message's own header decides; a flag left over from an
    // earlier load would add a header the message never had.
    returnReceipt_ = !headers.GetFieldValue("Return-receipt-to").empty();
    SetHeaders(headers);
}

void TmsMessage::Assign(const TmsCustomMessage& source) {
    if (&source == this)
        return;
    if (const auto* m = dynamic_cast<const TmsMessage*>(&source)) {
        recipients_.Assign(m->recipients_);
        cc_.Assign(m->cc_);
        bcc_.Assign(m->bcc_);
        priority_ = m->priority_;
        returnReceipt_ = m->returnReceipt_;
    }
    TmsCustomMessage::Assign(source);
}

// --- TmsArticle -----------------------------------------------------------

void TmsArticle::Validate() const {
    TmsCustomMessage::Validate();
    if (newsGroups_.empty())
        throw EMessageError(LoadStr(SNewsgroupRequired));
    if (Subject().empty())
        throw EMessageError(LoadStr(SSubjectRequired));
}

void TmsArticle::Clear() {
    TmsCustomMessage::Clear();
    newsGroups_.clear();
}

void TmsArticle::ParseHeaders(const TmsHeaders& headers) {
    const std::vector<std::string> from = headers.GetAddressPieces("From");
    if (!from.empty())
        parseAddress(from.front(), Sender());
    else
        Sender().Clear();
    path_ = headers.GetFieldValue("PATH");
    newsGroups_ = headers.GetFieldValue("NEWSGROUPS");
    messageId_ = headers.GetFieldValue("MESSAGE-ID");
    const std::string subject = headers.GetFieldValue("Subject");
    if (!subject.empty())
        SetSubject(subject);
    SetHeaders(headers);
}

void TmsArticle::Assign(const TmsCustomMessage& source) {
    if (&source == this)
        return;
    if (const auto* a = dynamic_cast<const TmsArticle*>(&source))
        newsGroups_ = a->newsGroups_;
    TmsCustomMessage::Assign(source);
}

// --- TmsListMessage and TmsMessageList ------------------------------------

TmsListMessage::TmsListMessage(TmsMessageList* owner) : owner_(owner) {
    if (!owner)
        throw EComponentError("Owner of TmsListMessage must be TmsMessageList");
    owner->Add(this);
}

TmsListMessage::~TmsListMessage() {
    if (owner_)
        owner_->Remove(this);
}

TmsMessageList::~TmsMessageList() {
    Clear();
}

TmsListMessage& TmsMessageList::GetItem(int index) const {
    if (index < 0 || index >= Count())
        RaiseListIndexError(index);
    return *items_[static_cast<size_t>(index)];
}

void TmsMessageList::Add(TmsListMessage* message) {
    if (message && std::find(items_.begin(), items_.end(), message) == items_.end())
        items_.push_back(message);
}

void TmsMessageList::Remove(TmsListMessage* message) {
    const auto it = std::find(items_.begin(), items_.end(), message);
    if (it != items_.end())
        items_.erase(it);
}

void TmsMessageList::Clear() {
    while (!items_.empty()) {
        TmsListMessage* last = items_.back();
        items_.pop_back();
        delete last; // its destructor finds itself gone from the list
    }
}
