#include "mail/mspop3.h"

#include "mail/mssafefile.h"
#include "mail/msstrings.h"
#include "platform/win/paths.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>

namespace {

// A whole decimal number; false for anything else (empty, signs, letters).
bool ParseNumber(std::string_view text, long& value) {
    if (text.empty() || text.size() > 18)
        return false;
    long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    value = n;
    return true;
}

[[noreturn]] void RaiseNotInteger(std::string_view text) {
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

} // namespace

std::string TPop3DotUnstuffer::Feed(std::string_view chunk) {
    std::string out(chunk);
    out.resize(FeedInPlace(out.data(), out.size()));
    return out;
}

std::size_t TPop3DotUnstuffer::FeedInPlace(char* data, std::size_t size) {
    if (size == 0)
        return 0;
    // Only CR LF ends a line: a "." after a bare LF is the message's own.
    const bool endsLine =
        size >= 2 ? data[size - 2] == '\r' && data[size - 1] == '\n' : data[0] == '\n' && afterCr_;
    const bool endsCr = data[size - 1] == '\r';
    // Runs between the stuffed dots move down whole; nothing moves before
    // the first dot. Bytes are only ever written below the next line feed
    // looked at, so the byte before it is still the one received.
    std::size_t from = lineStart_ && data[0] == '.' ? 1 : 0;
    std::size_t to = 0;
    for (std::size_t at = from; at < size;) {
        const auto* lf = static_cast<const char*>(std::memchr(data + at, '\n', size - at));
        if (!lf)
            break;
        const auto l = static_cast<std::size_t>(lf - data);
        const bool crlf = l > 0 ? data[l - 1] == '\r' : afterCr_;
        at = l + 1;
        if (crlf && at < size && data[at] == '.') {
            std::memmove(data + to, data + from, at - from);
            to += at - from;
            from = ++at;
        }
    }
    std::memmove(data + to, data + from, size - from);
    lineStart_ = endsLine;
    afterCr_ = endsCr;
    return to + size - from;
}

// ---- TmsCustomPOP ----

TmsCustomPOP::TmsCustomPOP() {
    serviceName_ = "pop3";
    SetDefaultPort(110);
}

int TmsCustomPOP::GetReplyCode(const std::string& line) {
    if (line.empty())
        return 0;
    if (line[0] == '+')
        return 1;
    if (line[0] == '-')
        return -1;
    return 0;
}

void TmsCustomPOP::CheckProperties() {
    if (userName_.empty())
        RaiseError(SUserNameRequired);
    if (password_.empty())
        RaiseError(SPasswordRequired);
}

void TmsCustomPOP::Open() {
    CheckProperties();
    Reset();
    TagSocket::Open();
}

void TmsCustomPOP::Command(std::string_view line) {
    SendLine(line);
    if (ReadLine(reply_) != 1)
        throw EServerError(reply_);
}

void TmsCustomPOP::Login() {
    // The counts of an earlier connection say nothing about this mailbox.
    messageCount_ = -1;
    totalSize_ = -1;
    Reset();
    Connect();
    if (ReadLine(reply_) != 1)
        throw EServerError(reply_);
    Command("USER " + userName_);
    Command("PASS " + password_);
    Stat();
}

void TmsCustomPOP::Logout() {
    Command("QUIT");
}

void TmsCustomPOP::Stat() {
    Command("STAT");
    const std::string rest = reply_.size() > 4 ? reply_.substr(4) : std::string();
    const auto blank = rest.find(' ');
    // Without a size the count still stands, when there is one; the size
    // stays unknown.
    if (blank == std::string::npos) {
        long count = 0;
        if (ParseNumber(rest, count) && count <= 0x7FFFFFFF)
            messageCount_ = static_cast<int>(count);
        return;
    }
    std::string sizeText = rest.substr(blank + 1);
    sizeText = sizeText.substr(0, sizeText.find(' '));
    long count = 0, size = 0;
    if (!ParseNumber(rest.substr(0, blank), count) || count > 0x7FFFFFFF)
        RaiseNotInteger(rest.substr(0, blank));
    if (!ParseNumber(sizeText, size))
        RaiseNotInteger(sizeText);
    messageCount_ = static_cast<int>(count);
    totalSize_ = size;
}

long TmsCustomPOP::ListSize(int index) {
    Command("LIST " + std::to_string(index + 1));
    const std::string rest = reply_.size() > 4 ? reply_.substr(4) : std::string();
    const auto blank = rest.find(' ');
    long size = 0;
    if (blank != std::string::npos) {
        const std::string text = rest.substr(blank + 1);
        if (!ParseNumber(text.substr(0, text.find(' ')), size))
            size = 0;
    }
    return size;
}

std::string TmsCustomPOP::ReceiveData(long size) {
    // Received straight into the text's own buffer, sized by LIST's figure
    // (a hostile one only costs a regrowth), and unstuffed where it lies.
    std::string buffer;
    buffer.reserve(static_cast<std::size_t>(std::clamp<long>(size, 0, 64L << 20)) + 4096);
    std::ostringstream raw(std::move(buffer));
    ReceiveToStream(raw, size);
    std::string data = std::move(raw).str();
    TPop3DotUnstuffer unstuffer;
    data.resize(unstuffer.FeedInPlace(data.data(), data.size()));
    return data;
}

void TmsCustomPOP::RetrieveMessage(int index) {
    const long size = ListSize(index);
    if (OnRetrieving)
        OnRetrieving(*this, index);
    Command("RETR " + std::to_string(index + 1));
    std::istringstream contents(ReceiveData(size));
    SaveMessage(index, contents);
    if (OnRetrieved)
        OnRetrieved(*this, index);
}

void TmsCustomPOP::DeleteMessage(int index) {
    if (OnDeleting)
        OnDeleting(*this, index);
    // A refusal (a read-only or locked mailbox) is the caller's to report:
    // it must not stop the messages after this one.
    SendLine("DELE " + std::to_string(index + 1));
    ReadLine(reply_);
    if (OnDeleted)
        OnDeleted(*this, index);
}

// ---- TmsPOP ----

void TmsPOP::SaveMessage(int, std::istream& contents) {
    auto message = std::make_unique<TmsListMessage>(&messages_);
    message->LoadFromStream(contents);
    message.release(); // the list owns it now
}

// ---- TmsRemotePOP ----

void TmsRemotePOP::SetMessageDirectory(const std::string& folder) {
    messageDirectory_ = folder;
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/')
        messageDirectory_ += '\\';
}

void TmsRemotePOP::GetInfo(int index, TmsRemoteInfoItem& item) {
    item.SetSize(ListSize(index));
    Command("TOP " + std::to_string(index + 1) + " 1");
    item.Headers().SetText(ReceiveData(-1));
    item.Headers().CutAtBlankLine();
}

void TmsRemotePOP::UpdateInfo() {
    ConnectIfNeeded();
    if (OnUpdatingInfo)
        OnUpdatingInfo(*this);
    info_.Clear();
    for (int index = 0; index < MessageCount(); ++index) {
        auto item = std::make_unique<TmsRemoteInfoItem>();
        GetInfo(index, *item);
        info_.Add(std::move(item));
        if (OnNextInfoUpdated)
            OnNextInfoUpdated(*this, info_.Count() - 1);
    }
    if (!keepConnected_)
        Disconnect();
    if (OnInfoUpdated)
        OnInfoUpdated(*this);
}

bool TmsRemotePOP::SameMessage(const TmsRemoteInfoItem& fresh, const TmsRemoteInfoItem& stored) {
    const std::string a = fresh.Headers().GetFieldValue("Message-ID");
    const std::string b = stored.Headers().GetFieldValue("Message-ID");
    if (!a.empty() && !b.empty())
        return a == b;
    const int n = std::min(fresh.Headers().Count(), stored.Headers().Count());
    for (int i = 0; i < n; ++i)
        if (fresh.Headers()[i] != stored.Headers()[i])
            return false;
    return true;
}

bool TmsRemotePOP::CheckMessage(int index) {
    TmsRemoteInfoItem fresh;
    GetInfo(index, fresh);
    if (!SameMessage(fresh, info_.Items(index)))
        RaiseError(SIDsAreDifferent);
    return true;
}

void TmsRemotePOP::ProcessMarked() {
    if (info_.Count() == 0)
        return;
    ConnectIfNeeded();
    if (OnTransferringData)
        OnTransferringData(*this);
    for (int index = 0; index < info_.Count(); ++index) {
        if (info_.Items(index).RetrieveMark() && CheckMessage(index))
            RetrieveMessage(index);
        // Read after the fetch: saving may have cleared the marks.
        if (info_.Items(index).DeleteMark() && CheckMessage(index))
            DeleteMessage(index);
    }
    if (OnDataTransfered)
        OnDataTransfered(*this);
    Disconnect();
}

void TmsRemotePOP::SaveMessage(int index, std::istream& contents) {
    if (OnUserMessageSave) {
        OnUserMessageSave(*this, index, contents);
        return;
    }
    WriteFileWhole(win::ResolvePath(messageDirectory_ + "msg_" + std::to_string(index) + ".eml"),
                   contents);
}
