#pragma once
// Reading a message from RFC 822 / MIME text (the decoders) and writing it
// back (the encoders). The written text is the .eml file format and what
// SMTP sends after DATA (dot-stuffing is the transport's job, not ours).
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <string>
#include <string_view>

#include "mail/mscls.h"
#include "mail/mserrors.h"
#include "mail/msmsg.h"

// --- Parser ---------------------------------------------------------------

// Reads the top header block, lets the message take its properties from
// it, then the body: plain text with uuencoded files, a single part,
// multipart/mixed, multipart/alternative, or an alternative nested first in
// a mixed message. A broken body never fails the load: the error becomes a
// note in the body and the whole input an attachment "original.eml".
class TmsCustomDecoder {
public:
    // Copies the whole stream from its start.
    explicit TmsCustomDecoder(std::istream& stream);
    virtual ~TmsCustomDecoder();
    TmsCustomDecoder(const TmsCustomDecoder&) = delete;
    TmsCustomDecoder& operator=(const TmsCustomDecoder&) = delete;

    void SetMessage(TmsCustomMessage* message) { message_ = message; }
    void Decode();

protected:
    // Hands the top headers to the message's ParseHeaders.
    virtual void ParseHeaders() = 0;

    TLineStream reader_;
    TmsHeaders topHeaders_;
    TmsHeaders partHeaders_;
    TmsCustomMessage* message_ = nullptr;
    // A second reading of the same header block must not add addresses twice.
    bool reparse_ = false;

private:
    enum class Boundary { None, Next, Close, OuterNext, OuterClose };

    bool nextLine(std::string& line);
    // Back to the first line of the input.
    void restart();
    void readHeaders(TmsHeaders& headers);
    void readPlainBody();
    void readUUAttachments(std::string line);
    void readMimeBody();
    void readTextBody();
    void readSinglePartAttachment();
    void readMultipart();
    // True when the message ends with this part.
    bool readFirstPart();
    void readFollowingParts();
    // Where a part ended: true when no further part follows.
    bool afterPart(Boundary end);
    [[nodiscard]] Boundary classify(std::string_view line) const;
    // Skips to the first delimiter; a closing one means no parts at all.
    void skipTo(int errorId);
    void handleParseError(const std::string& text);

    std::string delimiter_;
    std::string outerDelimiter_;
    bool nested_ = false;
    bool alternative_ = false;
    bool partHeadersRead_ = false;
    bool done_ = false;
    // The line that ended a header block without a blank line, read next.
    std::string heldLine_;
    bool held_ = false;
};

class TmsMessageDecoder : public TmsCustomDecoder {
public:
    using TmsCustomDecoder::TmsCustomDecoder;

protected:
    void ParseHeaders() override;
};

class TmsArticleDecoder : public TmsCustomDecoder {
public:
    using TmsCustomDecoder::TmsCustomDecoder;

protected:
    void ParseHeaders() override;
};

// --- Composer -------------------------------------------------------------

// The fields the composer writes itself (From, To, Subject, the MIME
// fields...): a saved message has them anew, and every other header line
// as it was. Names compared without regard to case.
[[nodiscard]] bool IsComposedField(std::string_view name);

// Writes a message as RFC 822 text with MIME parts. Works on a copy of the
// message's headers: the message itself is never changed.
class TmsCustomEncoder {
public:
    explicit TmsCustomEncoder(const TmsCustomMessage& message);
    virtual ~TmsCustomEncoder();
    TmsCustomEncoder(const TmsCustomEncoder&) = delete;
    TmsCustomEncoder& operator=(const TmsCustomEncoder&) = delete;

    void SetStream(std::ostream* stream) { stream_ = stream; }
    // Writes the whole message from the stream's start.
    void Encode();

    // Eight digits from 0 to 8; never the same as the one made before.
    [[nodiscard]] static std::string MakeBoundary();

protected:
    virtual void WriteEnvelope() = 0;
    void WriteLine(std::string_view text);
    // Removes every occurrence of the fields the composer writes itself,
    // then writes the remaining header lines, the subject and Mime-Version.
    void WriteCommonHeaders(std::initializer_list<std::string_view> extraManaged);
    // "From:     " and the sender.
    [[nodiscard]] std::string SenderText() const;
    // The From field as the message holds it while it names the sender,
    // else SenderText.
    void WriteSender();
    // Writes the lines of the first field called name as the message holds
    // them, when same and they are 7-bit; false when it wrote nothing.
    bool WriteAsWritten(std::string_view name, bool same);
    // Display name (quoted, or encoded when it holds 8-bit bytes), " <",
    // the address and ">".
    [[nodiscard]] std::string AddressText(std::string_view name, std::string_view address) const;
    // A header text with CR and LF taken out and, when it holds 8-bit
    // bytes, written as RFC 2047 encoded words in a character set that
    // holds it (UTF-8 when it reads as such, else the message's own, else
    // ISO 8859-1).
    [[nodiscard]] std::string HeaderText(std::string_view text) const;

    const TmsCustomMessage& message_;
    TmsHeaders headers_; // the working copy

private:
    void writeUUEncoded();
    void writeTextOnly(const std::string& type);
    void writeTextPartHeaders(const std::string& type);
    void writePreparedBody();
    void writeSinglePart();
    void writeMultipart(const std::string& type, bool alternativeMessage);
    void writeAttachmentData(const TmsAttItem& item, std::uint8_t encoding);
    [[nodiscard]] std::uint8_t effectiveEncoding(const TmsAttItem& item) const;
    [[nodiscard]] bool bodyNeedsQP() const;
    [[nodiscard]] std::string charsetLabel() const;
    void flush();

    std::ostream* stream_ = nullptr;
    std::string buffer_;
    bool longLines_ = false;
    bool eightBit_ = false;
    bool bodyUtf8_ = true;
    bool uu_ = false; // written as plain text with uuencoded files
};

class TmsMessageEncoder : public TmsCustomEncoder {
public:
    using TmsCustomEncoder::TmsCustomEncoder;

protected:
    void WriteEnvelope() override;

private:
    void writeAddressField(std::string_view name, const TmsAddressList& list);
};

class TmsArticleEncoder : public TmsCustomEncoder {
public:
    using TmsCustomEncoder::TmsCustomEncoder;

protected:
    void WriteEnvelope() override;
};
