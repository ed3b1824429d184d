#pragma once
// Python's email package (Debian's /usr/bin/python3) on a message file as
// a server received it: every value of the named fields, unfolded, as
// written and decoded (RFC 2047, each word in its own set); the Date as
// seconds since 1970; the longest line and whether any byte is 8-bit; the
// decoded bytes of each leaf part in hex, line breaks as LF; the text of
// each leaf text part read in the character set it names; each leaf's type
// and file name.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <string>

namespace testpeers {

inline QJsonObject PythonFields(const std::string& file, const QStringList& names) {
    static const char* script = R"(
import email, email.header, email.policy, email.utils, json, re, sys
raw = open(sys.argv[1], 'rb').read()
m = email.message_from_bytes(raw, policy=email.policy.compat32)
out = {n: [re.sub(r'\r?\n(?=[ \t])', '', str(v)).strip() for v in (m.get_all(n) or [])]
       for n in sys.argv[2:]}
d = m['Date']
out['when'] = email.utils.parsedate_to_datetime(d).timestamp() if d else None
out['longest'] = max(len(l) for l in raw.split(b'\r\n'))
out['parts'] = [p.get_payload(decode=True).replace(b'\r\n', b'\n').hex()
                for p in m.walk() if not p.is_multipart()]
out['decoded'] = {n: [str(email.header.make_header(email.header.decode_header(
                          re.sub(r'\r?\n(?=[ \t])', '', str(v)).strip())))
                      for v in (m.get_all(n) or [])] for n in sys.argv[2:]}
out['eightbit'] = any(b >= 128 for b in raw)
out['texts'] = [p.get_payload(decode=True).decode(p.get_content_charset() or 'us-ascii',
                                                  'replace').replace('\r\n', '\n')
                for p in m.walk() if not p.is_multipart() and p.get_content_maintype() == 'text']
out['types'] = [p.get_content_type() for p in m.walk() if not p.is_multipart()]
out['names'] = [p.get_filename() or '' for p in m.walk() if not p.is_multipart()]
print(json.dumps(out))
)";
    QProcess p;
    p.start("/usr/bin/python3", QStringList{"-c", script, QString::fromStdString(file)} + names);
    p.waitForFinished(120000);
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

// The values PythonFields found for one field.
inline QStringList Values(const QJsonObject& view, const char* name) {
    QStringList out;
    for (const auto& v : view[name].toArray())
        out << v.toString();
    return out;
}

// The same values decoded.
inline QStringList Decoded(const QJsonObject& view, const char* name) {
    QStringList out;
    for (const auto& v : view["decoded"].toObject()[name].toArray())
        out << v.toString();
    return out;
}

// The texts of the leaf text parts.
inline QStringList Texts(const QJsonObject& view) {
    QStringList out;
    for (const auto& v : view["texts"].toArray())
        out << v.toString();
    return out;
}

} // namespace testpeers
