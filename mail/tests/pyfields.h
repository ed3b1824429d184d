#pragma once
// Python's email package (Debian's /usr/bin/python3) on a message file as
// a server received it: every value of the named fields, unfolded; the
// Date as seconds since 1970; the longest line; the decoded bytes of each
// leaf part in hex, line breaks as LF.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <string>

namespace testpeers {

inline QJsonObject PythonFields(const std::string& file, const QStringList& names) {
    static const char* script = R"(
import email, email.policy, email.utils, json, re, sys
raw = open(sys.argv[1], 'rb').read()
m = email.message_from_bytes(raw, policy=email.policy.compat32)
out = {n: [re.sub(r'\r?\n(?=[ \t])', '', str(v)).strip() for v in (m.get_all(n) or [])]
       for n in sys.argv[2:]}
d = m['Date']
out['when'] = email.utils.parsedate_to_datetime(d).timestamp() if d else None
out['longest'] = max(len(l) for l in raw.split(b'\r\n'))
out['parts'] = [p.get_payload(decode=True).replace(b'\r\n', b'\n').hex()
                for p in m.walk() if not p.is_multipart()]
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

} // namespace testpeers
