// Sending through the shared SMTP component to a real server (aiosmtpd).
#include "automation/tests/fixture.h"
#include "mail/tests/smtp_sink.h"

#include <QProcess>
#include <QTemporaryDir>
#include <sstream>

using namespace qt;

namespace {

using testpeers::HaveAiosmtpd;
using testpeers::SmtpSink;

// A port on which nothing listens.
int ClosedPort() {
    QProcess p;
    p.start("/usr/bin/python3", {"-c", "import socket; s=socket.socket(); s.bind(('127.0.0.1',0));"
                                       "print(s.getsockname()[1])"});
    p.waitForFinished(10000);
    return p.readAllStandardOutput().trimmed().toInt();
}

} // namespace

using Send = QueltaTest;

TEST_F(Send, ThroughTheSharedServerAndViaAnother) {
    if (!HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    const std::string server = "127.0.0.1:" + std::to_string(sink.Port());

    IQueltaSMTP* smtp = NewSmtp();
    ASSERT_EQ(smtp->put_Server(V(server)), S_OK);
    ASSERT_EQ(smtp->put_TimeOut(10), S_OK);
    IQueltaMessage* m = NewMessage();
    m->put_SenderAddress(V("desk@example.com"));
    m->AddRecipient(V("Bob"), V("bob@example.com"));
    m->put_Subject(V("Automated"));
    m->put_Body(V("Hello\r\n.leading dot\r\nbyte \xE9"));
    ASSERT_EQ(m->Send(), S_OK) << TakeError().first;
    EXPECT_NE(sink.Read("1.json").find("bob@example.com"), std::string::npos);
    const std::string sent = sink.Read("1.eml");
    EXPECT_NE(sent.find("Automated"), std::string::npos) << sent;
    EXPECT_NE(sent.find(".leading dot"), std::string::npos);
    EXPECT_EQ(sent.find("..leading dot"), std::string::npos); // the transport's stuffing undone

    // SendVia an unreachable server fails with the socket's description and
    // leaves the shared server as it was.
    const std::string closed = "127.0.0.1:" + std::to_string(ClosedPort());
    EXPECT_EQ(m->SendVia(V(closed)), E_UNEXPECTED);
    auto [description, source] = TakeError();
    EXPECT_FALSE(description.empty());
    EXPECT_EQ(source, "Quelta.QueltaMessage");
    com::Variant v;
    smtp->get_Server(v.out());
    EXPECT_EQ(Text(v), server);
    ASSERT_EQ(m->Send(), S_OK);
    EXPECT_NE(sink.Read("2.eml").find("Automated"), std::string::npos);

    // SendVia a working server; then the shared one is back.
    smtp->put_Server(V(closed));
    ASSERT_EQ(m->SendVia(V(server)), S_OK) << TakeError().first;
    EXPECT_NE(sink.Read("3.eml").find("Automated"), std::string::npos);
    smtp->get_Server(v.out());
    EXPECT_EQ(Text(v), closed);

    // Late-bound, as a script sends.
    smtp->put_Server(V(server));
    Late late(m);
    ASSERT_EQ(late.Call("send", {}, nullptr), S_OK);
    EXPECT_NE(sink.Read("4.eml").find("Automated"), std::string::npos);
    m->Release();
    smtp->Release();
}

TEST_F(Send, MessageThatCannotBeSentFails) {
    IQueltaMessage* m = NewMessage();
    // No server set: the component refuses before any connection.
    IQueltaSMTP* smtp = NewSmtp();
    smtp->put_Server(V(""));
    m->put_SenderAddress(V("a@example.com"));
    m->AddRecipient(V(""), V("b@example.com"));
    EXPECT_EQ(m->Send(), E_UNEXPECTED);
    EXPECT_FALSE(TakeError().first.empty());
    smtp->Release();
    m->Release();
}
