#pragma once
// Transfer-encoding coders: base64 line by line, quoted-printable between a
// byte buffer and a list of lines, and RFC 2047 encoded words in header
// values. Line coders serve the program's queue (win::ProcessMessages)
// before each line, the quoted-printable encoder before each line it makes
// and its decoder after each logical line, so long work keeps the window
// alive.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "mail/strlist.h"

// Raised as EInOutError by the base64 and uuencode decoders.
inline constexpr const char* SInvalidCharacter = "Invalid Character";
// Raised as Exception by the quoted-printable coder over its paragraph limit.
inline constexpr const char* SParagraphTooLarge = "Paragraph is too large";

// Bytes of one base64 line (RFC 2045 alphabet, "=" pads). Any character
// outside the alphabet, line breaks and blanks included, raises
// EInOutError "Invalid Character". A final group of two or three
// characters without its padding still gives its one or two bytes.
[[nodiscard]] std::string DecodeBase64Line(std::string_view line);
// One base64 line of the bytes, padded with "=": 57 bytes give 76 characters.
[[nodiscard]] std::string EncodeBase64(std::string_view bytes);
// The same two, appending to out instead of returning a new string.
void DecodeBase64LineTo(std::string_view line, std::string& out);
void EncodeBase64To(std::string_view bytes, std::string& out);

// Quoted-printable between a byte buffer ("the stream", not owned) and a
// list of lines (not owned). Encode appends the lines of the whole buffer;
// Decode appends the decoded bytes of all lines to the buffer.
//
// A line break in the data is CR LF; each gives a hard break. Lone CR or LF
// bytes are escaped like other control bytes, and data that does not end
// with CR LF ends with a soft break, so Decode(Encode(data)) == data for any
// bytes. Lines are cut at a blank where possible and never pass 76
// characters.
class TQuotedPrintable {
public:
    TQuotedPrintable(std::string& stream, TStringList& lines) : stream_(stream), lines_(lines) {}

    void Encode();
    void Decode();

    // Largest paragraph (bytes of one source line, or one decoded logical
    // line) before "Paragraph is too large" is raised; 0 means no limit.
    std::size_t MaxParagraph = 0;

private:
    std::string& stream_;
    TStringList& lines_;
};

// Streaming forms of the two directions: Encode hands each output line
// (without break) to sink; Decode takes lines one by one.
void EncodeQuotedPrintable(std::string_view data, const std::function<void(std::string_view)>& sink,
                           std::size_t maxParagraph = 0);
class QPDecoder {
public:
    explicit QPDecoder(std::string& out, std::size_t maxParagraph = 0)
        : out_(out), max_(maxParagraph) {}
    void Line(std::string_view line);
    // True when the last line fed ended with a hard break (CR LF written).
    [[nodiscard]] bool HardBreak() const { return hardBreak_; }

private:
    std::string& out_;
    std::size_t max_;
    std::size_t logical_ = 0;
    bool hardBreak_ = false;
};

// A short text decoded as one quoted-printable line: the first line of the
// result, at most 255 characters.
[[nodiscard]] std::string DecodeQPText(std::string_view text);

// A header value with its RFC 2047 encoded words (=?charset?B|Q?text?=)
// decoded to their bytes, in one pass: text around the words stays as
// written, blanks between two adjacent words are dropped, "_" is a blank
// only inside Q words, decoded text is never decoded again, and a word that
// is malformed or never closed is kept as written.
[[nodiscard]] std::string DecodeHeaderWords(std::string_view value);
// The same pass, piece by piece: text around the words (charset "") and
// each word's decoded bytes with its charset (a language after "*" dropped).
void ForEachHeaderPiece(
    std::string_view value,
    const std::function<void(std::string_view bytes, std::string_view charset)>& piece);

// Text as RFC 2047 Q words of at most 75 characters each, separated by one
// blank (readers join adjacent words without it); a UTF-8 character is never
// split between two words.
[[nodiscard]] std::string EncodeHeaderWords(std::string_view text, std::string_view charset);
