#pragma once
// A received message as Python's email package reads it (Debian's
// /usr/bin/python3): addresses, subject, the text body with its character
// set and transfer encoding, MIME attachments and uuencoded files (bytes
// as hex), the Date as ISO 8601 ("" when it cannot be read) and the Message-ID.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <string>

namespace cfgtest {

inline QJsonObject PyMail(const std::string& file) {
    static const char* script = R"(
import binascii, email, email.policy, json, sys
raw = open(sys.argv[1], 'rb').read()
m = email.message_from_bytes(raw, policy=email.policy.default)
def addrs(name):
    h = m[name]
    return [a.addr_spec for a in h.addresses] if h is not None else []
b = m.get_body(('plain',))
d = m['date']
out = {'from': str(m['from']), 'from_addr': addrs('from'), 'to': addrs('to'),
       'to_text': str(m['to'] or ''), 'cc': addrs('cc'), 'subject': str(m['subject'] or ''),
       'mime': m['mime-version'] is not None,
       'body': b.get_content().replace('\r\n', '\n') if b is not None else None,
       'charset': b.get_content_charset() if b is not None else None,
       'cte': str(b['content-transfer-encoding'] or '') if b is not None else None,
       'attachments': {p.get_filename(): p.get_payload(decode=True).hex()
                       for p in m.iter_attachments()},
       'date': d.datetime.isoformat() if d is not None and d.datetime is not None else '',
       'message_id': str(m['message-id'] or ''),
       'uu': {}}
name = None
for line in raw.split(b'\r\n'):
    if name is None and line.startswith(b'begin '):
        name, data = line.split(b' ', 2)[2].decode(), b''
    elif name is not None and line == b'end':
        out['uu'][name] = data.hex()
        name = None
    elif name is not None:
        data += binascii.a2b_uu(line)
print(json.dumps(out))
)";
    QProcess p;
    p.start("/usr/bin/python3", {"-c", script, QString::fromStdString(file)});
    p.waitForFinished(60000);
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

inline QString Hex(const std::string& bytes) {
    return QString::fromLatin1(QByteArray::fromStdString(bytes).toHex());
}

} // namespace cfgtest
