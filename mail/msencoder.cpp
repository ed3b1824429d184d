#include <cstring>
#include <mutex>
#include <ostream>
#include <random>

#include "mail/mscharset.h"
#include "mail/msmime.h"
#include "mail/msoutgoing.h"
#include "mail/mspars.h"
#include "mail/mssevenbit.h"
#include "mail/msstrings.h"
#include "mail/msutils.h"
#include "mail/msuucode.h"
#include "platform/win/hooks.h"
#include "platform/win/paths.h"

namespace {

constexpr std::size_t kFlushSize = 1 << 16;

bool has8bit(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 128)
            return true;
    return false;
}

// Header texts never carry a line break taken from data.
std::string noBreaks(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

// Text that survives as "7 bit": ASCII without NUL, CR only before LF, LF
// only after CR, lines a mail server takes (998 characters at most), and a
// final line break (the delimiter's break is not data).
bool sevenBitSafe(std::string_view data) {
    if (data.empty())
        return true;
    if (!data.ends_with("\r\n"))
        return false;
    size_t lineStart = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c >= 128 || c == 0)
            return false;
        if (c == '\r' && (i + 1 >= data.size() || data[i + 1] != '\n'))
            return false;
        if (c == '\n') {
            if (i == 0 || data[i - 1] != '\r' || i - 1 - lineStart > kMaxLineLength)
                return false;
            lineStart = i + 1;
        }
    }
    return true;
}

std::string quoted(std::string_view value) {
    std::string out = "\"";
    for (char c : noBreaks(value)) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// A name parameter: quoted as it is while it is ASCII; else RFC 2231
// ("name*=utf-8''K%C3%B6ln.pdf"), which every reader of today takes,
// in the set that holds it.
std::string nameParam(std::string_view param, std::string_view name, std::string_view readWith) {
    const std::string clean = noBreaks(name);
    if (!has8bit(clean))
        return std::string(param) + "=" + quoted(clean);
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out = std::string(param) + "*=" + CharsetOfText(clean, readWith) + "''";
    for (unsigned char c : clean) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos)
            out += static_cast<char>(c);
        else
            out += {'%', hex[c >> 4], hex[c & 15]};
    }
    return out;
}

std::string bareName(const std::string& fileName) {
    return win::ExtractFileName(fileName);
}

} // namespace

TmsCustomEncoder::TmsCustomEncoder(const TmsCustomMessage& message)
    : message_(message), headers_(message.Headers()) {
    bool uuSafe = true;
    for (const std::string& line : message.Body()) {
        if (line.size() >= 256)
            longLines_ = true;
        if (line.size() > kMaxLineLength)
            uuSafe = false;
        for (unsigned char c : line)
            if (c >= 128 || c == 0 || c == '\r' || c == '\n')
                eightBit_ = true;
        bodyUtf8_ = bodyUtf8_ && IsUtf8(line);
    }
    for (int i = 0; i < message.Attachments().Count(); ++i)
        if (has8bit(bareName(message.Attachments()[i].FileName())))
            uuSafe = false;
    // Plain text with uuencoded files goes so while its text can go as it
    // is; sent, text that cannot goes the MIME way, where it is encoded.
    uu_ = message.Encoding() == meUU && (!message.ForSending() || (uuSafe && !eightBit_));
}

TmsCustomEncoder::~TmsCustomEncoder() = default;

std::string TmsCustomEncoder::MakeBoundary() {
    static std::mutex lock;
    static std::mt19937 rng{std::random_device{}()};
    static std::string last;
    // Serve the queue a while, as the boundary maker always did.
    for (int i = 0; i < 101; ++i)
        win::ProcessMessages();
    std::lock_guard<std::mutex> guard(lock);
    const int extra = 1 + static_cast<int>(rng() % 30);
    for (int i = 0; i < extra; ++i)
        win::ProcessMessages();
    std::string boundary;
    do {
        boundary.clear();
        for (int i = 0; i < 8; ++i)
            boundary += static_cast<char>('0' + rng() % 9);
    } while (boundary == last);
    last = boundary;
    return boundary;
}

void TmsCustomEncoder::WriteLine(std::string_view text) {
    buffer_.append(text);
    buffer_ += "\r\n";
    if (buffer_.size() >= kFlushSize)
        flush();
}

void TmsCustomEncoder::flush() {
    stream_->write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
}

void TmsCustomEncoder::Encode() {
    if (!stream_)
        throw EMessageError("No stream to write the message into");
    stream_->clear();
    stream_->seekp(0);
    stream_->clear();
    buffer_.clear();
    WriteEnvelope();
    if (uu_) {
        writeUUEncoded();
    } else {
        // A uuencoded message sent the MIME way: its text and its files.
        const std::string type = message_.Encoding() != meUU          ? message_.GetContentType()
                                 : message_.Attachments().Count() > 0 ? "multipart/mixed"
                                                                      : "text/plain";
        if (message_.Attachments().Count() == 0)
            writeTextOnly(type);
        else if (type == "multipart/mixed")
            writeMultipart(type, false);
        else if (type == "multipart/alternative")
            writeMultipart(type, true);
        else
            writeSinglePart();
    }
    flush();
    stream_->flush();
    if (!*stream_)
        throw EInOutError("The message could not be written");
}

std::string TmsCustomEncoder::HeaderText(std::string_view text) const {
    const std::string clean = noBreaks(text);
    if (has8bit(clean))
        return EncodeHeaderWords(clean, CharsetOfText(clean, message_.CharsetName()));
    // ASCII that a reader would take for encoded words is encoded, so it
    // reads back as itself.
    if (DecodeHeaderWords(clean) != clean)
        return EncodeHeaderWords(clean, "us-ascii");
    return clean;
}

bool TmsCustomEncoder::WriteAsWritten(std::string_view name, bool same) {
    if (!same)
        return false;
    const std::vector<std::string> lines = headers_.FieldLines(name);
    if (lines.empty())
        return false;
    for (size_t i = 0; i < lines.size(); ++i)
        if (has8bit(lines[i]) || lines[i].find_first_of("\r\n") != std::string::npos ||
            (i > 0 && lines[i][0] != ' ' && lines[i][0] != '\t'))
            return false;
    for (const std::string& l : lines)
        WriteLine(l);
    return true;
}

void TmsCustomEncoder::WriteSender() {
    // The From field as the message holds it, while it names the sender:
    // a message passed on keeps every character of it.
    const TmsMailAddress& sender = message_.Sender();
    const std::vector<std::string> pieces = headers_.GetAddressPieces("From");
    bool same = false;
    if (pieces.size() == 1) {
        TmsMailAddress written;
        ParseMailAddress(pieces[0], written);
        written.SetName(DecodeHeaderWords(written.Name()));
        same = written.Address() == sender.Address() && written.Name() == sender.Name() &&
               !sender.Address().empty();
    }
    if (!WriteAsWritten("From", same))
        WriteLine(SenderText());
}

std::string TmsCustomEncoder::AddressText(std::string_view name, std::string_view address) const {
    const std::string shown = has8bit(name) ? HeaderText(name) : QuoteDisplayName(noBreaks(name));
    return shown + " <" + noBreaks(address) + ">";
}

std::string TmsCustomEncoder::SenderText() const {
    return "From:     " + AddressText(message_.Sender().Name(), message_.Sender().Address());
}

namespace {

const char* const kManaged[] = {"From",
                                "To",
                                "CC",
                                "BCC",
                                "Return-Receipt-To",
                                "X-Priority",
                                "Subject",
                                "Mime-Version",
                                "Content-Type",
                                "X-Encoding",
                                "Content-Transfer-Encoding",
                                "Content-Disposition"};

} // namespace

bool IsComposedField(std::string_view name) {
    for (const char* managed : kManaged)
        if (name.size() == std::strlen(managed) && StartsText(managed, name))
            return true;
    return false;
}

void TmsCustomEncoder::WriteCommonHeaders(std::initializer_list<std::string_view> extraManaged) {
    const auto& managed = kManaged;
    auto removeAll = [this](std::string_view name) {
        for (;;) {
            const int before = headers_.Count();
            headers_.DeleteField(name);
            if (headers_.Count() == before)
                break;
        }
    };
    // The subject as written while it says what the message's subject says:
    // a long one is not cut and an encoded one keeps its character sets.
    const std::vector<std::string> subject =
        !message_.Subject().empty() && headers_.GetFieldValue("Subject") == message_.Subject()
            ? headers_.FieldLines("Subject")
            : std::vector<std::string>{};
    for (const char* name : managed)
        removeAll(name);
    for (std::string_view name : extraManaged)
        removeAll(name);
    for (const std::string& line : headers_)
        if (!line.empty()) // an empty line would end the header block here
            WriteLine(noBreaks(line));
    if (!message_.Subject().empty()) {
        bool asWritten = !subject.empty();
        for (size_t i = 0; i < subject.size(); ++i)
            asWritten = asWritten && !has8bit(subject[i]) &&
                        (i == 0 || subject[i][0] == ' ' || subject[i][0] == '\t');
        if (asWritten)
            for (const std::string& l : subject)
                WriteLine(noBreaks(l));
        else
            WriteLine("Subject:  " + HeaderText(message_.Subject()));
    }
    if (!uu_)
        WriteLine("Mime-Version: 1.0");
}

bool TmsCustomEncoder::bodyNeedsQP() const {
    return message_.CharSet() == csISO8859 || longLines_ || eightBit_;
}

std::string TmsCustomEncoder::charsetLabel() const {
    // The charset the text was read with stays, unless it cannot hold the
    // text; 8-bit text without one is UTF-8 when it reads as such.
    const std::string& kept = message_.CharsetName();
    if (!kept.empty() && !(LowerCase(kept) == "us-ascii" && eightBit_))
        return kept;
    if (eightBit_)
        return bodyUtf8_ ? "utf-8" : "iso-8859-1";
    if (message_.CharSet() == csISO8859)
        return "iso-8859-1";
    return "us-ascii";
}

void TmsCustomEncoder::writeTextPartHeaders(const std::string& type) {
    WriteLine("Content-Type: " + type + "; charset=" + quoted(charsetLabel()));
    WriteLine(bodyNeedsQP() ? "Content-Transfer-Encoding: quoted-printable"
                            : "Content-Transfer-Encoding: 7bit");
}

void TmsCustomEncoder::writePreparedBody() {
    if (bodyNeedsQP()) {
        EncodeQuotedPrintable(message_.Body().Text(),
                              [this](std::string_view line) { WriteLine(line); });
    } else {
        for (const std::string& line : message_.Body())
            WriteLine(line);
    }
}

void TmsCustomEncoder::writeTextOnly(const std::string& type) {
    // A stored multipart type with no attachments left is one text part.
    const std::string lower = LowerCase(type);
    writeTextPartHeaders(lower.starts_with("text/") ? lower : "text/plain");
    WriteLine("");
    writePreparedBody();
}

std::uint8_t TmsCustomEncoder::effectiveEncoding(const TmsAttItem& item) const {
    // Multipart and message bodies are never encoded (RFC 2046): they go out
    // as their lines.
    const std::string type = LowerCase(item.ContentType());
    if (type.starts_with("multipart/") || type.starts_with("message/"))
        return aeSevenBit;
    const std::uint8_t e = item.Encoding();
    if (e > aeQuotedPrintable)
        return aeBase64;
    // Data that "7 bit" would change goes out in base64 instead.
    if (e == aeSevenBit && !sevenBitSafe(item.Data()))
        return aeBase64;
    return e;
}

void TmsCustomEncoder::writeAttachmentData(const TmsAttItem& item, std::uint8_t encoding) {
    const std::string& data = item.Data();
    if (encoding == aeBase64) {
        // Straight into the output buffer, line by line.
        for (size_t pos = 0;; pos += 57) {
            const std::string_view block =
                std::string_view(data).substr(std::min(pos, data.size()), 57);
            EncodeBase64To(block, buffer_);
            buffer_ += "\r\n";
            if (buffer_.size() >= kFlushSize)
                flush();
            if (block.size() < 57)
                break;
        }
    } else if (encoding == aeQuotedPrintable) {
        EncodeQuotedPrintable(data, [this](std::string_view line) { WriteLine(line); });
    } else {
        // A part holding a message or parts cannot be encoded as a whole:
        // sent, the text inside it is, where it cannot go as it is.
        const std::string type = LowerCase(GetFirstToken(item.ContentType()));
        std::string inside;
        std::string_view text = data;
        if (message_.ForSending() && !sevenBitSafe(data)) {
            std::vector<std::string> notes;
            if (type.starts_with("multipart/"))
                inside =
                    SevenBitMultipart(data, GetHeaderParam("boundary", item.ContentType()), notes);
            else if (type.starts_with("message/"))
                inside = SevenBitEntity(data, notes);
            if (!inside.empty())
                text = inside;
        }
        TStringList lines;
        lines.SetText(text);
        for (const std::string& line : lines)
            WriteLine(line);
    }
}

void TmsCustomEncoder::writeSinglePart() {
    const TmsAttList& atts = message_.Attachments();
    const TmsAttItem& item = atts[0];
    const std::string name = bareName(item.FileName());
    const std::string lower = LowerCase(name);
    const bool htmlBody = atts.Count() == 1 && lower == "_htmbody.htm";
    const bool rtfBody = atts.Count() == 1 && lower == "_rtfbody.rtf";
    const std::uint8_t encoding = effectiveEncoding(item);
    const std::string type =
        item.ContentType().empty() ? "application/octet-stream" : noBreaks(item.ContentType());
    // A body file keeps the character set its type names.
    const std::string charset = GetHeaderParam("charset", item.ContentType());
    const std::string charsetParam =
        charset.empty() ? std::string() : "; charset=" + quoted(charset);
    if (htmlBody)
        WriteLine("Content-Type: text/html" + charsetParam);
    else if (rtfBody)
        WriteLine("Content-Type: text/rtf" + charsetParam);
    else
        WriteLine("Content-Type: " + type + "; " + nameParam("name", name, message_.CharsetName()));
    WriteLine(std::string("Content-Transfer-Encoding: ") + AttachmentEncodingNames[encoding]);
    if (!htmlBody && !rtfBody)
        WriteLine("Content-Disposition: attachment; " +
                  nameParam("filename", name, message_.CharsetName()));
    WriteLine("");
    writeAttachmentData(item, encoding);
}

void TmsCustomEncoder::writeMultipart(const std::string& type, bool alternativeMessage) {
    const TmsAttList& atts = message_.Attachments();
    const int count = atts.Count();
    auto lowerName = [&](int i) { return LowerCase(bareName(atts[i].FileName())); };
    const bool bodyEmpty = message_.Body().Empty();
    bool html = count > 0 && bodyEmpty && lowerName(0) == "_htmbody.htm";
    bool rtf = count > 0 && bodyEmpty && lowerName(0) == "_rtfbody.rtf";

    const std::string outer = MakeBoundary();
    std::string current = outer;
    WriteLine("Content-Type: " + type + "; boundary=" + quoted(outer));
    WriteLine("");
    WriteLine(LoadStr(SMultipartPreamble));
    WriteLine("");
    WriteLine("--" + outer);

    bool nested = count > 0 && lowerName(0).starts_with("_alt.");
    if (!alternativeMessage && nested) {
        current = MakeBoundary();
        WriteLine("Content-Type:  multipart/alternative; boundary=" + quoted(current));
        WriteLine("Content-Transfer-Encoding: 7bit");
        WriteLine("");
        WriteLine("--" + current);
    }
    if (!bodyEmpty) {
        writeTextPartHeaders("text/plain");
        WriteLine("");
        writePreparedBody();
        WriteLine("");
        WriteLine("--" + current);
    }
    for (int i = 0; i < count; ++i) {
        const TmsAttItem& item = atts[i];
        if (i > 0) {
            // The empty line after the previous data already stands before
            // this delimiter; a second one would become part of that data.
            WriteLine("--" + current);
            html = rtf = false;
        }
        const std::string name = bareName(item.FileName());
        const bool named = !(alternativeMessage || nested || html || rtf);
        const std::uint8_t encoding = effectiveEncoding(item);
        const std::string type =
            item.ContentType().empty() ? "application/octet-stream" : noBreaks(item.ContentType());
        WriteLine("Content-Type: " + type +
                  (named ? "; " + nameParam("name", name, message_.CharsetName()) : std::string()));
        WriteLine(std::string("Content-Transfer-Encoding: ") + AttachmentEncodingNames[encoding]);
        if (named)
            WriteLine("Content-Disposition: attachment; " +
                      nameParam("filename", name, message_.CharsetName()));
        WriteLine("");
        writeAttachmentData(item, encoding);
        WriteLine("");
        if (i == count - 1) {
            WriteLine("--" + current + "--");
            if (current != outer) { // the nested part ran to the end: close both
                WriteLine("");
                WriteLine("--" + outer + "--");
            }
        } else if (nested && !lowerName(i + 1).starts_with("_alt.")) {
            nested = false;
            if (current != outer) {
                WriteLine("--" + current + "--");
                current = outer;
            }
        }
    }
}

void TmsCustomEncoder::writeUUEncoded() {
    WriteLine("");
    for (const std::string& line : message_.Body())
        WriteLine(line);
    const TmsAttList& atts = message_.Attachments();
    for (int i = 0; i < atts.Count(); ++i) {
        const TmsAttItem& item = atts[i];
        std::string name = noBreaks(bareName(item.FileName()));
        if (name.find(' ') != std::string::npos)
            name = "\"" + name + "\"";
        WriteLine("");
        WriteLine("begin 600 " + name);
        const std::string& data = item.Data();
        // Full lines, then a short one; the zero-length line "`" comes once,
        // as uudecode expects it right before "end".
        for (size_t pos = 0; pos < data.size(); pos += 45)
            WriteLine(EncodeUULine(std::string_view(data).substr(pos, 45)));
        WriteLine("`");
        WriteLine("end");
    }
}

void TmsMessageEncoder::writeAddressField(std::string_view name, const TmsAddressList& list) {
    if (list.Count() == 0)
        return;
    std::string label(name);
    if (label.empty() || label.back() != ':')
        label += ':';
    if (label.size() < 10)
        label.resize(10, ' ');
    for (int i = 0; i < list.Count(); ++i) {
        const TmsMailAddress& a = list[i];
        std::string line = i == 0 ? label : std::string(10, ' ');
        line += AddressText(a.Name(), a.Address());
        if (i + 1 < list.Count())
            line += ',';
        WriteLine(line);
    }
}

void TmsMessageEncoder::WriteEnvelope() {
    WriteSender();
    const auto* m = dynamic_cast<const TmsMessage*>(&message_);
    if (m) {
        writeAddressField("To", m->Recipients());
        writeAddressField("CC", m->CC());
        if (m->ReturnReceipt())
            WriteLine("Return-Receipt-To: <" + noBreaks(m->Sender().Address()) + ">");
        if (m->Priority() == ptLow)
            WriteLine("X-Priority: 5");
        else if (m->Priority() == ptHigh)
            WriteLine("X-Priority: 1");
    }
    WriteCommonHeaders({});
}

void TmsArticleEncoder::WriteEnvelope() {
    WriteSender();
    if (const auto* a = dynamic_cast<const TmsArticle*>(&message_))
        WriteLine("Newsgroups: " + noBreaks(a->NewsGroups()));
    WriteCommonHeaders({"Newsgroups"});
}
