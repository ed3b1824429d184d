#include "platform/xbase/xbdate.h"

#include <cstdio>
#include <vector>

#include "platform/xbase/xberror.h"

namespace xbase {

namespace {

enum class Order { MDY, YMD, DMY };

Order OrderOf(int format, char& sep) {
    switch (format) {
    case XB_DATE_ANSI:
        sep = '.';
        return Order::YMD;
    case XB_DATE_BRITISH:
    case XB_DATE_FRENCH:
        sep = '/';
        return Order::DMY;
    case XB_DATE_GERMAN:
        sep = '.';
        return Order::DMY;
    case XB_DATE_ITALIAN:
    case XB_DATE_SPANISH:
        sep = '-';
        return Order::DMY;
    default: // American and the system default
        sep = '/';
        return Order::MDY;
    }
}

bool ValidYmd(int y, int m, int d) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1)
        return false;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

} // namespace

std::string FormatDate(const std::string& stored, int format, bool century) {
    if (stored.size() != 8)
        return "";
    for (char c : stored)
        if (c < '0' || c > '9')
            return "";
    int y = std::stoi(stored.substr(0, 4));
    int m = std::stoi(stored.substr(4, 2));
    int d = std::stoi(stored.substr(6, 2));
    char sep = '/';
    Order order = OrderOf(format, sep);
    char ys[8];
    if (century)
        std::snprintf(ys, sizeof ys, "%04d", y);
    else
        std::snprintf(ys, sizeof ys, "%02d", y % 100);
    char buf[64];
    switch (order) {
    case Order::YMD:
        std::snprintf(buf, sizeof buf, "%s%c%02d%c%02d", ys, sep, m, sep, d);
        break;
    case Order::DMY:
        std::snprintf(buf, sizeof buf, "%02d%c%02d%c%s", d, sep, m, sep, ys);
        break;
    case Order::MDY:
        std::snprintf(buf, sizeof buf, "%02d%c%02d%c%s", m, sep, d, sep, ys);
        break;
    }
    return buf;
}

std::string ParseDate(const std::string& text, int format, int epoch) {
    std::string t = text;
    while (!t.empty() && t.back() == ' ')
        t.pop_back();
    while (!t.empty() && t.front() == ' ')
        t.erase(0, 1);
    if (t.empty())
        return std::string(8, ' ');
    bool allDigits = t.size() == 8;
    for (char c : t)
        allDigits = allDigits && c >= '0' && c <= '9';
    int y = 0, m = 0, d = 0;
    if (allDigits) {
        y = std::stoi(t.substr(0, 4));
        m = std::stoi(t.substr(4, 2));
        d = std::stoi(t.substr(6, 2));
    } else {
        std::vector<std::string> parts(1);
        for (char c : t) {
            if (c >= '0' && c <= '9')
                parts.back() += c;
            else if (!parts.back().empty())
                parts.emplace_back();
        }
        if (parts.size() != 3 || parts[2].empty() || parts[0].size() > 4 || parts[1].size() > 4 ||
            parts[2].size() > 4)
            throw Error(XB_ERR_FIELD, "Not a date: " + text);
        char sep = '/';
        Order order = OrderOf(format, sep);
        int a = std::stoi(parts[0]), b = std::stoi(parts[1]), c = std::stoi(parts[2]);
        std::size_t yearDigits = order == Order::YMD ? parts[0].size() : parts[2].size();
        if (order == Order::YMD) {
            y = a, m = b, d = c;
        } else if (order == Order::DMY) {
            d = a, m = b, y = c;
        } else {
            m = a, d = b, y = c;
        }
        if (yearDigits <= 2) {
            // Two-digit years fall into the hundred years from the epoch.
            int base = epoch - epoch % 100;
            y += base;
            if (y < epoch)
                y += 100;
        }
    }
    if (!ValidYmd(y, m, d))
        throw Error(XB_ERR_FIELD, "Not a date: " + text);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
    return buf;
}

} // namespace xbase
