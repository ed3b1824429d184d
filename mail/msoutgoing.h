#pragma once
// What a composed message becomes on its way to a server. Only the copy
// that is sent changes; stored files and templates keep what they hold.
//
//   header block: the trace fields of an earlier delivery (Received,
//                 Return-Path, Delivered-To) go, as do Date and
//                 Message-ID; a new Date (the time of sending) and
//                 Message-ID head the block. A message passed on unchanged
//                 keeps its Message-ID.
//   every line:   at most 998 characters (RFC 5322). Header lines are folded
//                 at their blanks; a word too long to fold is cut to 255
//                 characters, as fixed fields are. A longer body line is
//                 broken, which only parts that cannot be re-encoded need.
#include "platform/win/datetime.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kMaxLineLength = 998;

// The identifying fields of one send.
struct TOutgoingStamp {
    std::string Date;      // value of the Date field
    std::string MessageID; // "<...>", unless the message keeps its own
    bool KeepMessageID = false;
};

// "Tue, 08 Dec 1998 12:34:56 +0100": a local time with its zone, English
// names whatever the locale.
[[nodiscard]] std::string MailDateText(win::TDateTime local);
// The domain part of an address (or a bare domain), kept to the letters,
// digits, "-" and "." a Message-ID's right side may hold; "" when none is left.
[[nodiscard]] std::string MessageIDDomain(std::string_view addressOrDomain);
// "<time.process.count.random@domain>", unique for every call.
[[nodiscard]] std::string MakeMessageID(std::string_view domain);

// One physical header line as lines of at most 998 characters: folded
// before a blank (the blank begins the next line); a word that cannot be
// folded within the limit is cut to 255 characters.
[[nodiscard]] std::vector<std::string> FoldHeaderLine(std::string_view line);

// Rewrites the composed text chunk by chunk (a streaming filter: the whole
// header block is held until its end, the body passes through).
class TOutgoingFilter {
public:
    explicit TOutgoingFilter(TOutgoingStamp stamp) : stamp_(std::move(stamp)) {}

    // The text to send for this chunk; last flushes what is held.
    [[nodiscard]] std::string Feed(std::string_view chunk, bool last);

private:
    void writeHeaderBlock(std::string& out, bool endsWithBlankLine);
    void writeBody(std::string_view chunk, std::string& out);

    TOutgoingStamp stamp_;
    bool inHeader_ = true;
    std::string header_;      // the block so far
    std::size_t scanned_ = 0; // where the search for its end goes on
    std::size_t column_ = 0;  // characters of the current body line
};
