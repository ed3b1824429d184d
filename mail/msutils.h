#pragma once
// Text routines of the mail components: addresses, header parameters,
// content types of files and RFC 822 dates.
#include <string>
#include <string_view>
#include <vector>

#include "mail/strlist.h"
#include "platform/win/datetime.h"

class TmsMailAddress;

// Trims blanks, then drops every double quote at the start and at the end.
[[nodiscard]] std::string StripQuotes(std::string_view text);

// Fills address from "Name <box>", "box (Name)" or a bare "box"; both parts
// cut to 255 characters. A quoted display name loses its quotes and its
// backslash escapes; an address keeps a quoted local part as written. Text with "<" but no ">"
// after it gives an empty address and the whole text as the name. Never raises.
void ParseMailAddress(std::string_view text, TmsMailAddress& address);
// The same parse, as two texts.
void SplitMailAddress(std::string_view text, std::string& address, std::string& name);

// The pieces of an address-list value, split at the commas that stand
// outside double quotes, comments and angle brackets; each trimmed, empty
// ones dropped: "Smith, John" <j@x>, b@y gives two pieces. A group gives
// its members without its name: "Team: a@x, b@y;" gives a@x and b@y, and
// "Undisclosed:;" nothing.
[[nodiscard]] std::vector<std::string> SplitAddressList(std::string_view text);

// True for a plain mailbox as SMTP takes it: a dot-atom or quoted local
// part ("john doe"@example.com) of at most 64 characters, "@", and a domain of letters, digits and
// "-" in dot-separated labels (or an address literal in brackets); ASCII, no blanks, 254 characters
// at most.
[[nodiscard]] bool IsPlainMailbox(std::string_view address);

// A display name as written in a header: in double quotes, with "\" and
// '"' escaped, when it holds an RFC 5322 special character or begins or
// ends with a blank.
[[nodiscard]] std::string QuoteDisplayName(std::string_view name);
// The display name (quoted as above), " <", the address and ">".
[[nodiscard]] std::string FormatMailAddress(std::string_view name, std::string_view address);

// The value of the parameter called name inside a header value (case
// ignored; a whole parameter name only, so "name" does not find
// "filename"): a quoted value without its quotes, else the text up to a
// blank or ";". Empty when absent. RFC 2231 forms count too when the plain
// one is missing: "name*=utf-8''a%20b" gives "a b" (bytes as sent, the
// charset dropped), and sections "name*0=", "name*1*=" are joined in order.
[[nodiscard]] std::string GetHeaderParam(std::string_view name, std::string_view value);
// The text before the first blank or ";" ("text/html; charset=x" gives
// "text/html").
[[nodiscard]] std::string GetFirstToken(std::string_view value);

// The content type of a file by its extension: a built-in table for the
// types that decide an encoding (txt, htm, html, rtf, eml), then
// /etc/mime.types, then "application/octet-stream".
[[nodiscard]] std::string GetContentTypeOfFile(std::string_view fileName);
// The mime.types file read by GetContentTypeOfFile (tests point it elsewhere).
void SetMimeTypesFile(const std::string& path);

// Writes every line, each followed by CR LF, into the file, creating or
// replacing it. Raises EFCreateError when it cannot be written.
void SaveLinesToFile(const std::string& fileName, const TStringList& lines);

// Reads an RFC 822 date such as "Tue, 8 Dec 1998 12:34:56 +0100". On
// success dateTime holds the date and time (the zone is not applied) and
// rest what follows the time, upper-cased ("+0100"); on failure dateTime is
// 0 and rest empty. Never raises.
void ParseMailDate(std::string_view text, win::TDateTime& dateTime, std::string& rest);

// ASCII helpers shared by the mail sources.
[[nodiscard]] std::string Trim(std::string_view text);
[[nodiscard]] std::string UpperCase(std::string_view text);
[[nodiscard]] std::string LowerCase(std::string_view text);
[[nodiscard]] bool StartsText(std::string_view prefix, std::string_view text);
// Equal without regard to ASCII case.
[[nodiscard]] bool SameText(std::string_view a, std::string_view b);
// The first 255 characters; UTF-8 text is cut before a character, never
// inside one.
[[nodiscard]] std::string Cut255(std::string_view text);
