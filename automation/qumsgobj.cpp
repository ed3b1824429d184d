#include "automation/qumsgobj.h"
#include "automation/module.h"
#include "automation/sharedsmtp.h"
#include "automation/typelib.h"
#include "mail/exception.h"
#include "platform/win/paths.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quelta {

namespace {

std::string TextOf(const VARIANT& v) {
    std::string s;
    if (!com::VariantToBytes(v, s))
        throw EConvertError("Invalid variant type conversion");
    return s;
}

void SetText(VARIANT* out, std::string_view text) {
    VariantInit(out);
    out->bstrVal = com::BstrFromBytes(text);
    if (!out->bstrVal)
        throw std::bad_alloc();
    out->vt = VT_BSTR;
}

// Blanks and control characters off both ends, as the labelled-line search
// compares lines.
std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return std::string(s.substr(b, e - b));
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return s;
}

} // namespace

std::string DataField(const TStringList& body, const std::string& field,
                      const std::string& startDelimiter, const std::string& endDelimiter) {
    const int count = body.Count();
    if (count == 0)
        return "";
    const std::string key = Upper(field + startDelimiter);
    const std::string end = Upper(endDelimiter);
    int found = -1;
    std::string line;
    for (int i = 0; i < count && found < 0; ++i) {
        line = Trim(body[i]);
        if (Upper(line).starts_with(key))
            found = i;
    }
    if (found < 0)
        return "";
    std::string value = line.substr(key.size());
    if (end.empty() || found == count - 1)
        return value;
    for (int i = found + 1; i < count; ++i) {
        const std::string next = Trim(body[i]);
        if (end == "\r") {
            if (next.empty())
                break;
            value += '\r' + next;
            continue;
        }
        const size_t at = Upper(next).find(end);
        if (at != std::string::npos) {
            value += '\r' + next.substr(0, at);
            break;
        }
        value += '\r' + next;
    }
    return value;
}

void SaveMessageFile(TmsMessage& message, const std::string& fileName) {
    const std::string path = win::ResolvePath(fileName);
    std::ostringstream text(std::ios::binary);
    message.SaveToStream(text);
    const std::string bytes = text.str();

    std::string tmp = win::ExtractFilePath(path) + ".quelta.XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0)
        RaiseFileCreateError(fileName);
    // The new file keeps the old one's permissions, else the usual ones.
    struct stat st {};
    mode_t mode;
    if (stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = fchmod(fd, mode) == 0;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        RaiseFileCreateError(fileName);
    }
}

TQueltaMessage::TQueltaMessage()
    : AutoObject(Module(), TypeInfoOf(IID_IQueltaMessage), IID_IQueltaMessage, kMessageProgId) {}

HRESULT TQueltaMessage::get_Body(VARIANT* Value) {
    return Guard([&] { SetText(Value, message_.Body().Text()); });
}

HRESULT TQueltaMessage::put_Body(VARIANT Value) {
    return Guard([&] { message_.Body().SetText(TextOf(Value)); });
}

HRESULT TQueltaMessage::get_Header(VARIANT* Value) {
    return Guard([&] { SetText(Value, message_.Headers().Text()); });
}

HRESULT TQueltaMessage::get_SenderName(VARIANT* Value) {
    return Guard([&] { SetText(Value, message_.Sender().Name()); });
}

HRESULT TQueltaMessage::put_SenderName(VARIANT Value) {
    return Guard([&] { message_.Sender().SetName(TextOf(Value)); });
}

HRESULT TQueltaMessage::get_SenderAddress(VARIANT* Value) {
    return Guard([&] { SetText(Value, message_.Sender().Address()); });
}

HRESULT TQueltaMessage::put_SenderAddress(VARIANT Value) {
    return Guard([&] { message_.Sender().SetAddress(TextOf(Value)); });
}

HRESULT TQueltaMessage::get_Subject(VARIANT* Value) {
    return Guard([&] { SetText(Value, message_.Subject()); });
}

HRESULT TQueltaMessage::put_Subject(VARIANT Value) {
    return Guard([&] { message_.SetSubject(TextOf(Value)); });
}

HRESULT TQueltaMessage::get_RecipientCount(LONG* Value) {
    return Guard([&] { *Value = message_.Recipients().Count(); });
}

HRESULT TQueltaMessage::GetRecipientName(LONG Index, VARIANT* Value) {
    return Guard([&] { SetText(Value, message_.Recipients().GetItem(Index).Name()); });
}

HRESULT TQueltaMessage::GetRecipientAddress(LONG Index, VARIANT* Value) {
    return Guard([&] { SetText(Value, message_.Recipients().GetItem(Index).Address()); });
}

HRESULT TQueltaMessage::SetRecipientName(LONG Index, VARIANT Value) {
    return Guard([&] { message_.Recipients().GetItem(Index).SetName(TextOf(Value)); });
}

HRESULT TQueltaMessage::SetRecipientAddress(LONG Index, VARIANT Value) {
    return Guard([&] { message_.Recipients().GetItem(Index).SetAddress(TextOf(Value)); });
}

HRESULT TQueltaMessage::DeleteRecipient(LONG Index) {
    return Guard([&] { message_.Recipients().Delete(Index); });
}

HRESULT TQueltaMessage::AddRecipient(VARIANT Name, VARIANT Address) {
    return Guard([&] { message_.Recipients().Add(TextOf(Address), TextOf(Name)); });
}

HRESULT TQueltaMessage::get_AttachmentCount(LONG* Value) {
    return Guard([&] { *Value = message_.Attachments().Count(); });
}

HRESULT TQueltaMessage::GetAttachment(LONG Index, VARIANT* Value) {
    return Guard([&] { SetText(Value, message_.Attachments().GetItem(Index).FileName()); });
}

HRESULT TQueltaMessage::RemoveAttachment(LONG Index) {
    return Guard([&] { message_.Attachments().Delete(Index); });
}

HRESULT TQueltaMessage::AddAttachment(VARIANT FileName) {
    return Guard([&] { message_.Attachments().AddFile(TextOf(FileName)); });
}

HRESULT TQueltaMessage::LoadFromFile(VARIANT FileName) {
    // Loading swallows its failures: the message may be left cleared.
    try {
        message_.LoadFromFile(TextOf(FileName));
    } catch (...) {
    }
    return S_OK;
}

HRESULT TQueltaMessage::SaveToFile(VARIANT FileName) {
    return Guard([&] { SaveMessageFile(message_, TextOf(FileName)); });
}

HRESULT TQueltaMessage::GetHeaderField(VARIANT Field, VARIANT* Value) {
    return Guard([&] { SetText(Value, message_.Headers().GetFieldValue(TextOf(Field))); });
}

HRESULT TQueltaMessage::Send() {
    return Guard([&] { SendMessage(message_); });
}

HRESULT TQueltaMessage::SendVia(VARIANT Server) {
    return Guard([&] { SendMessageVia(message_, TextOf(Server)); });
}

HRESULT TQueltaMessage::ClearRecipients() {
    return Guard([&] { message_.Recipients().Clear(); });
}

HRESULT TQueltaMessage::ClearAttachments() {
    return Guard([&] { message_.Attachments().Clear(); });
}

HRESULT TQueltaMessage::GetDataField(VARIANT Field, VARIANT StartDelimiter, VARIANT EndDelimiter,
                                     VARIANT* Value) {
    return Guard([&] {
        SetText(Value, DataField(message_.Body(), TextOf(Field), TextOf(StartDelimiter),
                                 TextOf(EndDelimiter)));
    });
}

} // namespace quelta
