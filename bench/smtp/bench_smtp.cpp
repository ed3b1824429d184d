// 1,000 messages of 4 KiB sent to aiosmtpd on 127.0.0.1, one connection
// each: TmsSMTP against msmtp (one process per message, as a program that
// hands each reply to msmtp would) and against Python's smtplib sending from
// one process (so the ratio shows the client's own speed). Prints messages
// per second and the ratios.
#include "mail/agwinsock.h"
#include "mail/mssmtp.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

class RawMessage : public TmsMessage {
public:
    explicit RawMessage(std::string text) : text_(std::move(text)) {
        Sender().SetAddress("from@example.org");
        Recipients().Add("to@example.org", "");
    }
    void SaveToStream(std::ostream& s) override { s << text_; }

private:
    std::string text_;
};

std::string MessageText() {
    std::string t = "From: <from@example.org>\r\nTo: <to@example.org>\r\nSubject: bench\r\n\r\n";
    for (int i = 0; t.size() < 4096 - 80; ++i)
        t += (i % 10 == 0 ? "." : "") + std::string(70, static_cast<char>('a' + i % 26)) + "\r\n";
    while (t.size() < 4094)
        t += 'z';
    return t + "\r\n";
}

// Sends argv[3] messages of the file argv[4], one connection each; prints
// the seconds the sending took (the interpreter's start not counted).
const char* const kSmtplib = R"(import smtplib, sys, time
host, port, n, path = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
data = open(path, 'rb').read()
start = time.perf_counter()
for i in range(n):
    s = smtplib.SMTP(host, port)
    s.sendmail('from@example.org', ['to@example.org'], data)
    s.quit()
print(time.perf_counter() - start)
)";

int Count(const QString& dir) {
    std::ifstream in((dir + "/count").toStdString());
    int n = 0;
    in >> n;
    return n;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 1000;
    TagWinsock::SetLibraryName(QUELTA_BIN_DIR "/libwsock32.so");

    QTemporaryDir dir;
    QProcess sink;
    sink.start("/usr/bin/python3",
               {QUELTA_SOURCE_DIR "/mail/tests/smtp_sink.py", dir.path(), "--count"});
    if (!sink.waitForReadyRead(20000)) {
        std::fprintf(stderr, "aiosmtpd did not start (apt-get install python3-aiosmtpd)\n");
        return 1;
    }
    const QString port = QString(sink.readLine()).trimmed();
    const std::string text = MessageText();

    RawMessage msg(text);
    TmsSMTP smtp;
    smtp.SetWinsockLoaded(true);
    smtp.SetServer("127.0.0.1:" + port.toStdString());
    smtp.SetMailMessage(&msg);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i)
        smtp.Send();
    const double ours = n / (t.nsecsElapsed() / 1e9);
    const int oursArrived = Count(dir.path());

    const QString msmtp = "msmtp";
    t.restart();
    for (int i = 0; i < n; ++i) {
        QProcess p;
        p.start(msmtp, {"--host=127.0.0.1", "--port=" + port, "--auth=off", "--tls=off",
                        "--from=from@example.org", "to@example.org"});
        p.write(text.data(), static_cast<qint64>(text.size()));
        p.closeWriteChannel();
        if (!p.waitForFinished(30000) || p.exitCode() != 0) {
            std::fprintf(stderr, "msmtp failed: %s\n", p.readAllStandardError().constData());
            return 1;
        }
    }
    const double theirs = n / (t.nsecsElapsed() / 1e9);
    const int afterMsmtp = Count(dir.path());

    const QString script = dir.path() + "/smtplib_peer.py";
    const QString data = dir.path() + "/message.eml";
    std::ofstream(script.toStdString()) << kSmtplib;
    std::ofstream(data.toStdString(), std::ios::binary) << text;
    QProcess py;
    py.start("/usr/bin/python3", {script, "127.0.0.1", port, QString::number(n), data});
    double pySeconds = -1;
    if (py.waitForFinished(600000) && py.exitCode() == 0)
        pySeconds = py.readAllStandardOutput().trimmed().toDouble();
    else
        std::fprintf(stderr, "smtplib failed: %s\n", py.readAllStandardError().constData());
    const double python = pySeconds > 0 ? n / pySeconds : 0;
    const int total = Count(dir.path());
    sink.closeWriteChannel();
    if (!sink.waitForFinished(10000)) { // a loaded machine: stop it rather than leave it
        sink.terminate();
        sink.waitForFinished(5000);
    }

    std::printf("SMTP to aiosmtpd, %d messages of %zu bytes, one connection each\n", n,
                text.size());
    std::printf("  TmsSMTP  %8.1f messages/s (%d arrived)\n", ours, oursArrived);
    std::printf("  msmtp    %8.1f messages/s (%d arrived; a process per message)\n", theirs,
                afterMsmtp - oursArrived);
    std::printf("  smtplib  %8.1f messages/s (%d arrived; one process)\n", python,
                total - afterMsmtp);
    std::printf("  ratio TmsSMTP / msmtp:   %.2f\n", ours / theirs);
    if (python > 0)
        std::printf("  ratio TmsSMTP / smtplib: %.2f\n", ours / python);
    return 0;
}
