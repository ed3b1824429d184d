#pragma once
// Date texts of the engine: stored "yyyymmdd" against the display format of
// the date-format, century and epoch settings.
#include <string>

namespace xbase {

// "" for a blank or malformed stored date.
[[nodiscard]] std::string FormatDate(const std::string& stored, int format, bool century);
// Stored form of a date text in the given format ("yyyymmdd" passes as it
// is); 8 blanks for an empty text. Throws Error(XB_ERR_FIELD) when malformed.
[[nodiscard]] std::string ParseDate(const std::string& text, int format, int epoch);

} // namespace xbase
