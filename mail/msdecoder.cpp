#include <istream>
#include <memory>
#include <vector>

#include "mail/msmime.h"
#include "mail/mspars.h"
#include "mail/msstrings.h"
#include "mail/msutils.h"
#include "mail/msuucode.h"
#include "platform/win/hooks.h"

namespace {

constexpr const char* kNoteHead =
    "The following error has been occured while processing the message:";
constexpr const char* kNoteTail = "The original message will be stored as an attachment";

std::string_view rtrimBlanks(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// "1.0", also with comments and blanks around it ("1.0 (produced by x)").
bool isMimeVersion1(std::string_view value) {
    std::string bare;
    int depth = 0;
    for (char c : value) {
        if (c == '(')
            ++depth;
        else if (c == ')' && depth > 0)
            --depth;
        else if (!depth && c != ' ' && c != '\t')
            bare += c;
    }
    return bare == "1.0";
}

// Transfer encoding kind of a part: 1 base64 (or uuencode), 2
// quoted-printable, 0 anything else.
std::uint8_t encodingKind(const TmsHeaders& headers, bool& uu) {
    const std::string cte =
        LowerCase(GetFirstToken(headers.GetFieldValue("Content-Transfer-Encoding")));
    uu = cte.starts_with("x-uue");
    if (cte == "base64" || uu)
        return aeBase64;
    if (cte == "quoted-printable")
        return aeQuotedPrintable;
    return aeSevenBit;
}

// The lower-cased "type/subtype" of a Content-Type value; a type without
// its subtype ("text") is no type at all and reads as text/plain. Empty
// for an empty value.
std::string mediaType(std::string_view value) {
    const std::string token = LowerCase(GetFirstToken(value));
    if (token.empty())
        return token;
    const size_t slash = token.find('/');
    if (slash == 0 || slash == std::string::npos || slash + 1 == token.size() ||
        token.find('/', slash + 1) != std::string::npos)
        return "text/plain";
    return token;
}

// A file name from a header parameter: encoded words decoded.
std::string paramName(std::string_view param, std::string_view value) {
    return DecodeHeaderWords(GetHeaderParam(param, value));
}

// The name a part's sender gave it: Content-Disposition's "filename"
// first, as the more specific, then Content-Type's "name". Both values are
// read whole: a long name in RFC 2231 sections must not be cut.
std::string partFileName(const TmsHeaders& headers) {
    std::string name = paramName("filename", headers.GetRawFieldValue("Content-Disposition"));
    if (name.empty())
        name = paramName("name", headers.GetRawFieldValue("Content-Type"));
    return name;
}

// Names the item without deriving a type or an encoding from the name.
void setNameKeepingType(TmsAttItem& item, const std::string& name) {
    const std::string type = item.ContentType();
    const std::uint8_t encoding = item.Encoding();
    item.SetFileName(name);
    item.SetContentType(type);
    item.SetEncoding(encoding);
}

void decodeCodedLine(std::string_view line, bool uu, std::string& data) {
    line = rtrimBlanks(line);
    if (line.empty())
        return;
    if (!uu) {
        DecodeBase64LineTo(line, data);
        return;
    }
    if (line == "`" || IsUUBeginLine(line) || LowerCase(line) == "end")
        return;
    DecodeUULineTo(line, data);
}

// Quoted-printable lines to bytes. Before a delimiter the last line break
// belongs to the delimiter, not to the data.
std::string decodeQPLines(const TStringList& lines, bool beforeDelimiter) {
    std::string data;
    QPDecoder decoder(data);
    for (const std::string& line : lines)
        decoder.Line(line);
    if (beforeDelimiter && decoder.HardBreak())
        data.resize(data.size() - 2);
    return data;
}

// A field ("Name: value" with a name of printable characters and no
// blank), a folded continuation, or an mbox "From " line.
bool isHeaderLine(std::string_view line) {
    if (line[0] == ' ' || line[0] == '\t' || line.starts_with("From "))
        return true;
    for (char c : line) {
        if (c == ':')
            return true;
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) > '~')
            return false;
    }
    return false;
}

// A first part that is not the text body is read as the first attachment.
bool isBodyPart(const TmsHeaders& part) {
    bool uu = false;
    if (encodingKind(part, uu) == aeBase64)
        return false;
    const std::string type = part.GetFieldValue("Content-Type");
    const std::string disposition = part.GetRawFieldValue("Content-Disposition");
    if (!partFileName(part).empty())
        return false;
    if (LowerCase(GetFirstToken(disposition)) == "attachment")
        return false;
    const std::string token = mediaType(type);
    return token.empty() || token.starts_with("text/");
}

} // namespace

TmsCustomDecoder::TmsCustomDecoder(std::istream& stream) {
    stream.clear();
    stream.seekg(0);
    stream.clear();
    reader_.LoadFromStream(stream);
    reader_.Reset();
}

TmsCustomDecoder::~TmsCustomDecoder() = default;

bool TmsCustomDecoder::nextLine(std::string& line) {
    if (held_) {
        held_ = false;
        line = std::move(heldLine_);
        return true;
    }
    reader_.ReadLine(line);
    return !reader_.Eof();
}

void TmsCustomDecoder::restart() {
    held_ = false;
    reader_.Reset();
}

void TmsCustomDecoder::readHeaders(TmsHeaders& headers) {
    headers.Clear();
    std::string line;
    while (nextLine(line) && !line.empty()) {
        // A line that cannot belong to a header block is the first body
        // line of a message (or part) that lacks the blank line.
        if (!isHeaderLine(line)) {
            heldLine_ = std::move(line);
            held_ = true;
            return;
        }
        headers.Add(line);
    }
}

void TmsCustomDecoder::Decode() {
    if (!message_)
        throw EMessageError("No message to decode into");
    readHeaders(topHeaders_);
    ParseHeaders();
    try {
        if (isMimeVersion1(topHeaders_.GetFieldValue("MIME-VERSION")))
            readMimeBody();
        else
            readPlainBody();
    } catch (const EMessageParserError& e) {
        handleParseError(e.what());
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        // A broken body (a bad character, an over-long paragraph) is kept
        // the same way: noted, with the input attached.
        handleParseError(e.what());
    }
}

void TmsCustomDecoder::readPlainBody() {
    std::string line;
    while (nextLine(line)) {
        if (IsUUBeginLine(line)) {
            message_->SetEncoding(meUU);
            readUUAttachments(line);
            return;
        }
        message_->Body().Add(line);
    }
}

void TmsCustomDecoder::readUUAttachments(std::string line) {
    TStringList& body = message_->Body();
    // The blank line the composer puts before "begin" is not body text.
    if (!body.Empty() && body[body.Count() - 1].empty())
        body.Delete(body.Count() - 1);
    for (;;) {
        auto item = std::make_unique<TmsAttItem>();
        std::string name = UUFileName(line);
        if (name.empty())
            name = "att." + std::to_string(message_->Attachments().Count());
        item->SetFileName(name);
        try {
            while (nextLine(line)) {
                if (line == "`" || UpperCase(line) == "END")
                    break;
                if (!line.empty())
                    DecodeUULineTo(rtrimBlanks(line), item->Data());
            }
        } catch (const EMessageParserError&) {
            throw;
        } catch (const std::exception&) {
            throw EMessageParserError(LoadStr(SAttachmentDecodeError));
        }
        message_->Attachments().AddItem(std::move(item));
        // Text after an attachment stays in the body; blank lines between
        // attachments do not.
        bool begin = false;
        while (nextLine(line)) {
            if (IsUUBeginLine(line)) {
                begin = true;
                break;
            }
            if (!line.empty() && UpperCase(line) != "END")
                body.Add(line);
        }
        if (!begin)
            return;
    }
}

void TmsCustomDecoder::readMimeBody() {
    const std::string type = LowerCase(topHeaders_.GetFieldValue("Content-type"));
    if (type.find("multipart/alternative") != std::string::npos) {
        alternative_ = true;
        readMultipart();
    } else if (type.find("multipart") != std::string::npos) {
        readMultipart();
    } else if (!type.empty() && !mediaType(type).starts_with("text/")) {
        readSinglePartAttachment();
    } else if (!GetHeaderParam("name", type).empty()) {
        readSinglePartAttachment();
    } else {
        readTextBody();
    }
}

void TmsCustomDecoder::readTextBody() {
    const std::string typeValue = topHeaders_.GetFieldValue("Content-Type");
    const std::string token = LowerCase(GetFirstToken(typeValue));
    if (token == "text/html")
        message_->SetContentType("text/html");
    else if (token == "text/rtf")
        message_->SetContentType("text/rtf");
    message_->SetCharsetName(LowerCase(GetHeaderParam("charset", typeValue)));
    TStringList& body = message_->Body();
    body.Clear();
    const std::string cte =
        LowerCase(GetFirstToken(topHeaders_.GetFieldValue("Content-Transfer-Encoding")));
    if (cte == "quoted-printable")
        message_->SetCharSet(csISO8859);
    std::string line;
    if (cte == "base64") {
        std::string data;
        while (nextLine(line))
            decodeCodedLine(line, false, data);
        body.SetText(data);
        return;
    }
    while (nextLine(line)) {
        body.Add(line);
        if (IsUUBeginLine(line)) {
            // Plain text with uuencoded files after all: read it again so.
            restart();
            body.Clear();
            readHeaders(topHeaders_);
            reparse_ = true;
            ParseHeaders();
            readPlainBody();
            return;
        }
    }
    if (cte == "quoted-printable")
        body.SetText(decodeQPLines(body, false));
}

void TmsCustomDecoder::readSinglePartAttachment() {
    auto item = std::make_unique<TmsAttItem>();
    try {
        const std::string typeValue = topHeaders_.GetFieldValue("Content-Type");
        item->SetContentType(GetFirstToken(typeValue));
        bool uu = false;
        item->SetEncoding(encodingKind(topHeaders_, uu));
        std::string name = partFileName(topHeaders_);
        if (name.empty())
            name = "att." + std::to_string(message_->Attachments().Count());
        setNameKeepingType(*item, name);
        const std::uint8_t kind = item->Encoding();
        std::string line;
        std::string& data = item->Data();
        if (kind == aeBase64) {
            while (nextLine(line) && line != ".")
                decodeCodedLine(line, uu, data);
        } else if (kind == aeQuotedPrintable) {
            TStringList lines;
            while (nextLine(line))
                lines.Add(line);
            data = decodeQPLines(lines, false);
        } else {
            while (nextLine(line)) {
                data += line;
                data += "\r\n";
            }
        }
    } catch (const EMessageParserError&) {
        throw;
    } catch (const std::exception&) {
        throw EMessageParserError(LoadStr(SAttachmentDecodeError));
    }
    message_->Attachments().AddItem(std::move(item));
}

TmsCustomDecoder::Boundary TmsCustomDecoder::classify(std::string_view line) const {
    const std::string_view l = rtrimBlanks(line);
    if (l.size() < 2 || l[0] != '-' || l[1] != '-')
        return Boundary::None;
    auto is = [&](const std::string& d, bool close) {
        return l.size() == d.size() + (close ? 2 : 0) && l.starts_with(d) &&
               (!close || l.ends_with("--"));
    };
    if (is(delimiter_, false))
        return Boundary::Next;
    if (is(delimiter_, true))
        return Boundary::Close;
    if (nested_ && is(outerDelimiter_, false))
        return Boundary::OuterNext;
    if (nested_ && is(outerDelimiter_, true))
        return Boundary::OuterClose;
    return Boundary::None;
}

void TmsCustomDecoder::skipTo(int errorId) {
    std::string line;
    while (nextLine(line)) {
        const Boundary b = classify(line);
        if (b == Boundary::Next)
            return;
        if (b == Boundary::Close) {
            done_ = true; // a multipart without parts
            return;
        }
    }
    throw EMessageParserError(LoadStr(errorId));
}

void TmsCustomDecoder::readMultipart() {
    const std::string boundary =
        GetHeaderParam("Boundary", topHeaders_.GetFieldValue("Content-type"));
    if (boundary.empty())
        throw EMessageParserError(LoadStr(SNoBoundary));
    delimiter_ = "--" + boundary;
    skipTo(SNoBoundary);
    if (done_ || readFirstPart())
        return;
    readFollowingParts();
}

bool TmsCustomDecoder::afterPart(Boundary end) {
    switch (end) {
    case Boundary::Next:
        return false;
    case Boundary::OuterNext:
    case Boundary::OuterClose:
        // The nested alternative was never closed; the outer delimiter ends it.
        nested_ = false;
        delimiter_ = outerDelimiter_;
        return end == Boundary::OuterClose;
    case Boundary::Close:
    case Boundary::None:
        if (!nested_)
            return true;
        nested_ = false;
        delimiter_ = outerDelimiter_;
        if (end == Boundary::None)
            throw EMessageParserError(LoadStr(SNoClosingBoundary));
        {
            std::string line;
            while (nextLine(line)) {
                const Boundary b = classify(line);
                if (b == Boundary::Next)
                    return false;
                if (b == Boundary::Close)
                    return true;
            }
        }
        throw EMessageParserError(LoadStr(SNoClosingBoundary));
    }
    return true;
}

bool TmsCustomDecoder::readFirstPart() {
    readHeaders(partHeaders_);
    std::string typeValue = partHeaders_.GetFieldValue("Content-Type");
    if (LowerCase(typeValue).find("multipart/alternative") != std::string::npos) {
        const std::string boundary = GetHeaderParam("boundary", typeValue);
        if (boundary.empty())
            throw EMessageParserError(LoadStr(SNoBoundary));
        nested_ = true;
        outerDelimiter_ = delimiter_;
        delimiter_ = "--" + boundary;
        std::string line;
        for (;;) {
            if (!nextLine(line))
                throw EMessageParserError(LoadStr(SNoBoundary));
            const Boundary b = classify(line);
            if (b == Boundary::Next)
                break;
            if (b != Boundary::None) // an alternative without parts
                return afterPart(b);
        }
        readHeaders(partHeaders_);
        typeValue = partHeaders_.GetFieldValue("Content-Type");
    }
    if (!isBodyPart(partHeaders_)) {
        partHeadersRead_ = true;
        return false;
    }
    TStringList& body = message_->Body();
    body.Clear();
    bool uu = false;
    const bool qp = encodingKind(partHeaders_, uu) == aeQuotedPrintable;
    if (qp)
        message_->SetCharSet(csISO8859);
    message_->SetCharsetName(LowerCase(GetHeaderParam("charset", typeValue)));
    std::string line;
    Boundary end = Boundary::None;
    while (nextLine(line)) {
        end = classify(line);
        if (end != Boundary::None)
            break;
        body.Add(line);
    }
    if (end == Boundary::None)
        throw EMessageParserError(LoadStr(SNoBoundary));
    if (qp) {
        body.SetText(decodeQPLines(body, true));
    } else if (!body.Empty() && body[body.Count() - 1].empty()) {
        body.Delete(body.Count() - 1); // the delimiter's line break
    }
    if (body.Empty())
        body.Add("");
    return afterPart(end);
}

void TmsCustomDecoder::readFollowingParts() {
    while (!done_) {
        win::ProcessMessages();
        if (!partHeadersRead_)
            readHeaders(partHeaders_);
        partHeadersRead_ = false;
        auto item = std::make_unique<TmsAttItem>();
        Boundary end = Boundary::None;
        try {
            const std::string typeValue = partHeaders_.GetFieldValue("Content-Type");
            std::string type = GetFirstToken(typeValue);
            // A multipart part deeper than the layouts read here is kept as
            // its lines, with its whole type so its boundary goes out again.
            if (LowerCase(type).starts_with("multipart/"))
                type = typeValue;
            else if (!type.empty() && mediaType(type) != LowerCase(type))
                type = "text/plain";
            // A text part keeps the character set its text is written in.
            const std::string charset = GetHeaderParam("charset", typeValue);
            if (LowerCase(type.empty() ? "text/plain" : type).starts_with("text/") &&
                !charset.empty() && charset.find_first_of("\"\\\r\n") == std::string::npos)
                type = (type.empty() ? "text/plain" : type) + "; charset=\"" + charset + "\"";
            item->SetContentType(type.empty() ? "text/plain" : type);
            const std::string name = partFileName(partHeaders_);
            if (!name.empty()) {
                item->SetFileName(name);
                // The type the sender declared wins over a guess from the name.
                if (!type.empty())
                    item->SetContentType(type);
            }
            bool uu = false;
            const std::uint8_t kind = encodingKind(partHeaders_, uu);
            item->SetEncoding(kind);
            if (name.empty()) {
                const bool alt = nested_ || alternative_;
                setNameKeepingType(*item, (alt ? "_alt." : "att.") +
                                              std::to_string(message_->Attachments().Count()));
            }
            std::string line;
            std::string& data = item->Data();
            // Room for the decoded part at once: its text runs to the delimiter.
            if (kind != aeSevenBit) {
                const std::string_view rest =
                    std::string_view(reader_.Data()).substr(reader_.Position());
                const size_t len = std::min(rest.find(delimiter_), rest.size());
                data.reserve(kind == aeBase64 ? len / 4 * 3 + 3 : len);
            }
            QPDecoder qp(data);
            while (nextLine(line)) {
                end = classify(line);
                if (end != Boundary::None)
                    break;
                if (kind == aeBase64) {
                    decodeCodedLine(line, uu, data);
                } else if (kind == aeQuotedPrintable) {
                    qp.Line(line);
                } else {
                    data += line;
                    data += "\r\n";
                }
            }
            const bool beforeDelimiter = end != Boundary::None;
            if (kind == aeQuotedPrintable && beforeDelimiter && qp.HardBreak())
                data.resize(data.size() - 2);
            else if (kind == aeSevenBit && beforeDelimiter && data.ends_with("\r\n"))
                data.resize(data.size() - 2);
        } catch (const EMessageParserError&) {
            throw;
        } catch (const std::exception&) {
            throw EMessageParserError(LoadStr(SAttachmentDecodeError));
        }
        message_->Attachments().AddItem(std::move(item));
        done_ = afterPart(end);
    }
}

void TmsCustomDecoder::handleParseError(const std::string& text) {
    TStringList& body = message_->Body();
    body.Add(kNoteHead);
    body.Add(text);
    body.Add(kNoteTail);
    try {
        auto item = std::make_unique<TmsAttItem>();
        item->SetFileName("original.eml");
        item->SetEncoding(aeSevenBit);
        item->SetContentType("message/rfc822");
        item->SetData(reader_.Data());
        message_->Attachments().AddItem(std::move(item));
    } catch (const std::exception&) {
        // Nothing more can be kept.
    }
}

void TmsMessageDecoder::ParseHeaders() {
    if (auto* m = dynamic_cast<TmsMessage*>(message_))
        m->ParseHeaders(topHeaders_, !reparse_);
    else
        message_->ParseHeaders(topHeaders_);
}

void TmsArticleDecoder::ParseHeaders() {
    message_->ParseHeaders(topHeaders_);
}
