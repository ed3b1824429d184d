#pragma once
// Text at the windows' edge: the core's UTF-8 bytes and Qt's strings.
#include <QString>
#include <string>

namespace cfgman {

inline QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

inline std::string S(const QString& s) {
    return s.toUtf8().toStdString();
}

} // namespace cfgman
