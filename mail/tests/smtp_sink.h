#pragma once
// aiosmtpd on 127.0.0.1 (smtp_sink.py beside this file) for the tests that
// send real mail: every accepted message is stored as <n>.eml (the data as
// received) and <n>.json (the envelope). The server stops with the object.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace testpeers {

class SmtpSink {
public:
    // script: another server of the same form, given the folder and then args.
    explicit SmtpSink(const QString& script = QUELTA_SOURCE_DIR "/mail/tests/smtp_sink.py",
                      const QStringList& args = {}) {
        proc_.start("/usr/bin/python3", QStringList{script, dir_.path()} + args);
        if (proc_.waitForReadyRead(120000))
            port_ = proc_.readLine().trimmed().toInt();
    }
    ~SmtpSink() {
        proc_.closeWriteChannel();
        if (!proc_.waitForFinished(20000))
            proc_.kill();
        proc_.waitForFinished(20000);
    }
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    [[nodiscard]] int Port() const { return port_; }
    [[nodiscard]] std::string Dir() const { return dir_.path().toStdString(); }
    [[nodiscard]] std::string Read(const std::string& name) const {
        std::ifstream in(Dir() + "/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // The envelope recipients of the nth message stored.
    [[nodiscard]] QStringList Recipients(int n) const {
        QStringList out;
        const auto env =
            QJsonDocument::fromJson(QByteArray::fromStdString(Read(std::to_string(n) + ".json")));
        for (const auto& v : env["to"].toArray())
            out << v.toString();
        return out;
    }
    // Messages stored so far.
    [[nodiscard]] int Count() const {
        int n = 0;
        while (std::filesystem::exists(Dir() + "/" + std::to_string(n + 1) + ".json"))
            ++n;
        return n;
    }

private:
    QTemporaryDir dir_;
    QProcess proc_;
    int port_ = 0;
};

inline bool HaveAiosmtpd() {
    return QProcess::execute("/usr/bin/python3", {"-c", "import aiosmtpd"}) == 0;
}

} // namespace testpeers
