// A Basic script creates both objects by ProgID, loads, edits, saves and
// sends a message, as an agent's script action does.
#include "automation/tests/fixture.h"
#include "platform/basic/engine.h"

#include <QProcess>
#include <QTemporaryDir>
#include <sstream>

using namespace qt;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the script; its printed lines, or "error: <text>".
std::string RunScript(const std::string& source) {
    basic::TBasicEngine engine;
    std::string out;
    engine.OnLog = [&](const std::string& line) { out += line + "\n"; };
    try {
        engine.RunText(source);
    } catch (const std::exception& e) {
        out += std::string("error: ") + e.what() + "\n";
    }
    return out;
}

} // namespace

using Script = QueltaTest;

TEST_F(Script, EditsSavesAndSendsAMessage) {
    if (QProcess::execute("/usr/bin/python3", {"-c", "import aiosmtpd"}) != 0)
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    QTemporaryDir sinkDir;
    QProcess sink;
    sink.start("/usr/bin/python3", {QUELTA_SOURCE_DIR "/mail/tests/smtp_sink.py", sinkDir.path()});
    ASSERT_TRUE(sink.waitForReadyRead(15000));
    const int port = sink.readLine().trimmed().toInt();

    const std::string in = dir_ + "/in.eml", out = dir_ + "/out.eml";
    std::ofstream(in, std::ios::binary) << "From: Ann <ann@example.com>\r\n"
                                           "To: Bob <bob@example.com>\r\n"
                                           "Subject: Order 42\r\n\r\n"
                                           "Name: Smith\r\nNotes: fast\r\nplease END\r\n";
    const std::string script =
        "Set m = CreateObject(\"Quelta.QueltaMessage\")\n"
        "Set s = CreateObject(\"quelta.queltasmtp\")\n"
        "m.LoadFromFile \"" +
        in +
        "\"\n"
        "Print m.Subject & \"|\" & m.RecipientCount & \"|\" & m.GetDataField(\"name\", \":\", "
        "\"\")\n"
        "Print Replace(m.GetDataField(\"Notes\", \":\", \"end\"), Chr(13), \"/\")\n"
        "m.Subject = \"Re: \" & m.Subject\n"
        "m.SenderAddress = \"desk@example.com\"\n"
        "m.ClearRecipients\n"
        "m.AddRecipient \"Ann\", \"ann@example.com\"\n"
        "m.SaveToFile \"" +
        out +
        "\"\n"
        "s.Server = \"127.0.0.1:" +
        std::to_string(port) +
        "\"\n"
        "s.TimeOut = 10\n"
        "m.Send\n"
        "On Error Resume Next\n"
        "x = m.GetRecipientName(5)\n"
        "Print (Err.Number <> 0) & \"|\" & (Err.Description <> \"\")\n";
    EXPECT_EQ(RunScript(script), "Order 42|1| Smith\n fast/please \n"
                                 "True|True\n");

    EXPECT_NE(ReadAll(out).find("Re: Order 42"), std::string::npos);
    const std::string sent = ReadAll(sinkDir.path().toStdString() + "/1.eml");
    EXPECT_NE(sent.find("Re: Order 42"), std::string::npos);
    EXPECT_NE(ReadAll(sinkDir.path().toStdString() + "/1.json").find("ann@example.com"),
              std::string::npos);
    sink.closeWriteChannel();
    if (!sink.waitForFinished(5000))
        sink.kill();
}
