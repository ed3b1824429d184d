#pragma once
// Rows in the canonical text form of dbfread_dump.py, read through the
// engine, so a test compares the engine with dbfread line by line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/xbase/tests/xbtest_util.h"
#include "platform/xbase/xbnumber.h"

namespace xbtest {

inline std::string Hex(const std::string& s) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

inline std::string Fixed4(const std::string& text) {
    return xbase::NumberToFixed(xbase::NumberFromText(text.c_str()), 4);
}

// The current record in the canonical form of dbfread_dump.py.
inline std::string CanonicalRow() {
    std::string line = xb_Deleted() ? "D" : "L";
    for (int i = 1; i <= xb_FieldCount(); ++i) {
        char name[32];
        xb_FieldName(i, name, sizeof name);
        char type = static_cast<char>(xb_FieldType(i));
        if (type == '0')
            continue;
        std::string v;
        bool none = false;
        std::string raw = Str(name);
        std::string trimmed = Trim(name);
        switch (type) {
        case 'N':
        case 'F':
        case 'B':
        case 'Y':
            none = trimmed.empty();
            v = none ? "" : Fixed4(trimmed);
            break;
        case 'D':
            none = raw.find_first_not_of(" 0") == std::string::npos;
            v = raw;
            break;
        case 'L':
            none = std::strchr("TtYyFfNn", raw[0]) == nullptr;
            v = std::strchr("TtYy", raw[0]) ? "T" : "F";
            break;
        case 'M':
        case 'G':
        case 'P':
            v = Memo(name);
            none = v.empty();
            break;
        case 'T':
            none = raw.empty();
            v = raw;
            break;
        case 'I':
            v = raw;
            break;
        default:
            v = trimmed;
        }
        line += "\t" + (none ? std::string("-") : v.empty() ? std::string("=") : Hex(v));
    }
    return line;
}

inline std::string EngineDump(const std::string& path) {
    int area = xb_Use(path.c_str(), nullptr, XB_READONLY, XB_DRIVER_FOX);
    if (area == 0)
        return "open failed: " + ErrorText();
    // dbfread lists live records first, then deleted ones.
    std::string live, deleted;
    int saved = xb_SetDeleted(0);
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
        (xb_Deleted() ? deleted : live) += CanonicalRow() + "\n";
    xb_SetDeleted(saved);
    xb_Close();
    return live + deleted;
}

inline std::string DbfreadDump(const std::string& path) {
    return Capture("/usr/bin/python3 " + std::string(QUELTA_SOURCE_DIR) +
                   "/platform/xbase/tests/dbfread_dump.py '" + path + "'");
}

} // namespace xbtest
