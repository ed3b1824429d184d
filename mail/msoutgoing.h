#pragma once
// What a composed message becomes on its way to a server. Only the copy
// that is sent changes; stored files and templates keep what they hold.
//
//   header block: the trace fields of an earlier delivery (Received,
//                 Return-Path, Delivered-To) go, as do Date and
//                 Message-ID; a new Date (the moment of sending) and
//                 Message-ID head the block.
//   header field: lines of at most 998 characters (RFC 5322), folded at
//                 blanks. In fields of free text, words with 8-bit bytes
//                 or too long to fold become RFC 2047 encoded words, which
//                 read back as the same text. An identifier too long for a
//                 line is left out, never sent cut; another word of a
//                 structured field that cannot fold is cut to 255
//                 characters. Either is told in the notes.
//   body:         lines over 998 characters are broken (and told), which
//                 only text the composer did not write can need.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kMaxLineLength = 998;

// The identifying fields of one send.
struct TOutgoingStamp {
    std::string Date;      // value of the Date field
    std::string MessageID; // "<...>"
};

// "Tue, 08 Dec 1998 12:34:56 +0100": the moment (seconds since 1970) as
// local time with the zone offset in force at that moment, English names
// whatever the locale.
[[nodiscard]] std::string MailDateText(std::int64_t unixSeconds);
// The domain part of an address (or a bare domain), kept to the letters,
// digits, "-" and "." a Message-ID's right side may hold; "" when none is left.
[[nodiscard]] std::string MessageIDDomain(std::string_view addressOrDomain);
// "<time.process.count.random@domain>", unique for every call.
[[nodiscard]] std::string MakeMessageID(std::string_view domain);

// One header field (its line and continuation lines, without line breaks)
// as lines a server takes, as the header block rule above says; sevenBit
// also encodes free-text words that hold 8-bit bytes. A field that is
// within the limits comes back as written. Empty when nothing of it can
// go (an identifier field whose every identifier was too long). What was
// left out or cut is added to notes.
[[nodiscard]] std::vector<std::string> OutgoingField(const std::vector<std::string_view>& lines,
                                                     bool sevenBit,
                                                     std::vector<std::string>& notes);

// Rewrites the composed text chunk by chunk (a streaming filter: the whole
// header block is held until its end, the body passes through).
class TOutgoingFilter {
public:
    explicit TOutgoingFilter(TOutgoingStamp stamp) : stamp_(std::move(stamp)) {}

    // The text to send for this chunk; last flushes what is held.
    [[nodiscard]] std::string Feed(std::string_view chunk, bool last);
    // What had to change in the text beyond the stamp, one line each.
    [[nodiscard]] const std::vector<std::string>& Notes() const { return notes_; }

private:
    void writeHeaderBlock(std::string& out, bool endsWithBlankLine);
    void writeBody(std::string_view chunk, std::string& out);

    TOutgoingStamp stamp_;
    bool inHeader_ = true;
    std::string header_;      // the block so far
    std::size_t scanned_ = 0; // where the search for its end goes on
    std::size_t column_ = 0;  // characters of the current body line
    bool broken_ = false;     // a body line was broken
    std::vector<std::string> notes_;
};
