#pragma once
// Whole MIME entities made fit for any mail server: nothing but 7-bit
// lines of at most 998 characters, with the same content when read back.
// The composer sends parts that hold whole messages (message/rfc822) or
// multiparts it keeps as their lines through these; such parts cannot be
// encoded as a whole (RFC 2046), so their leaf parts are.
//
//   leaf part:   kept when it can go as it is; else its content gets
//                quoted-printable (text) or base64 (anything else) and a
//                Content-Transfer-Encoding that says so.
//   multipart:   each part between the delimiters made so in turn; a
//                preamble or epilogue that cannot go is left out (readers
//                never show them).
//   message:     the message inside made so in turn.
//   header line: as the header block of sent mail (OutgoingField).
#include <string>
#include <string_view>
#include <vector>

// An entity: header block, empty line, body; lines end in CR LF, LF or CR.
// The result uses CR LF throughout. What had to be cut or left out of a
// header is added to notes.
[[nodiscard]] std::string SevenBitEntity(std::string_view entity, std::vector<std::string>& notes);
// The body of a multipart entity whose delimiters use boundary.
[[nodiscard]] std::string SevenBitMultipart(std::string_view body, std::string_view boundary,
                                            std::vector<std::string>& notes);
