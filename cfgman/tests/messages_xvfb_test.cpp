// The real cfgman on a desktop of its own, with aiosmtpd: a user makes an
// auto-reply template from the File menu, inserts the account's name as a
// merge code and saves it, and an AUTO-REPLY agent sends it with the real
// posta; a user sends an outbox message from the account's list, and again
// with the server stopped; a user sets the SMTP server in the preferences and
// sends copies of a received message with Custom Send. The tables are read
// back with dbfread, MAIL.INI with crudini, the mail with Python's email.
#include "cfgman/tests/cfgfixture.h"
#include "cfgman/tests/outside_readers.h"
#include "cfgman/tests/pymail.h"
#include "cfgman/tests/ui/desktop.h"
#include "mail/msmsg.h"
#include "mail/tests/smtp_sink.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>
#include <iostream>
#include <set>

namespace cfgtest {
namespace {

using uitest::kHang;
using uitest::TUiNode;

const QString kApp = QStringLiteral("Quelta Mail Management System");
const QString kCaption = QStringLiteral("Quelta Configuration Manager");

// A node of this role and name that has a place on the screen.
std::function<bool(const TUiNode&)> Shown(const QString& role, const QString& name) {
    return [role, name](const TUiNode& n) {
        return n.Role == role && n.Name == name && n.W > 0 && n.H > 0;
    };
}

class MessagesXvfbTest : public CfgTest {
protected:
    void SetUp() override {
        CfgTest::SetUp();
        if (!desktop_.Failure().isEmpty())
            GTEST_SKIP() << "no desktop for the real program: " << desktop_.Failure().toStdString();
        if (!testpeers::HaveAiosmtpd())
            GTEST_SKIP() << "python3-aiosmtpd is not installed";
        env_.insert(QStringLiteral("QUELTA_WINDIR"), QString::fromStdString(root_ + "win"));
    }
    QProcess* StartCfgman() {
        QProcess* p = desktop_.Start(QStringLiteral(QUELTA_BIN_DIR "/cfgman"), {}, env_);
        if (p)
            pid_ = p->processId();
        return p;
    }
    bool Focus(const QString& title) {
        const QString id = desktop_.WaitForWindow(title, kHang);
        return !id.isEmpty() &&
               desktop_.XdoTool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id});
    }
    // A right click in the middle of the node.
    bool RightClick(const TUiNode& n) {
        return desktop_.XdoTool({QStringLiteral("mousemove"), QString::number(n.X + n.W / 2),
                                 QString::number(n.Y + n.H / 2), QStringLiteral("click"),
                                 QStringLiteral("3")});
    }
    // Waits for the node; what is shown is printed when it never comes.
    bool Shows(const std::function<bool(const TUiNode&)>& pick, TUiNode* node = nullptr) {
        if (desktop_.WaitFor(kApp, pick, kHang, node))
            return true;
        std::cerr << "not shown; the program shows:\n";
        for (const TUiNode& n : desktop_.Tree(kApp))
            if (n.W > 0)
                std::cerr << std::string(std::size_t(n.Depth), ' ') << n.Role.toStdString() << " \""
                          << n.Name.toStdString() << "\"" << (n.Focused ? " focused" : "") << "\n";
        return false;
    }
    bool Shows(const QString& role, const QString& name, TUiNode* node = nullptr) {
        return Shows(Shown(role, name), node);
    }
    bool ClickOn(const QString& role, const QString& name) {
        TUiNode node;
        return Shows(role, name, &node) && desktop_.Click(node);
    }
    // The row selected, its popup opened with a right click, and an entry
    // chosen by its keys once the popup shows (popups are not in the
    // accessibility tree).
    bool PopupEntry(const QString& row, const QStringList& keys) {
        TUiNode node;
        if (!Shows(QStringLiteral("table cell"), row, &node) || !desktop_.Click(node))
            return false;
        const QStringList before = desktop_.Windows(pid_);
        if (!RightClick(node) || desktop_.WaitForNewWindow(pid_, before, kHang).isEmpty())
            return false;
        return desktop_.Keys(keys);
    }
    // An agent file as the agent editors write it.
    void WriteAgent(const std::string& name, const std::string& templatePath) {
        Spit(root_ + "agents/" + name + ".agent",
             "[MAIN]\r\nAgentType=MESSAGE\r\nTriggerCount=1\r\nActionCount=1\r\n"
             "[HEADER]\r\nEntry1=Subject\r\n[CONDITION]\r\nEntry1=contains\r\n"
             "[VALUE]\r\nEntry1=order\r\n"
             "[ACTIONPARAM1]\r\nEntry1=AUTO-REPLY\r\n[ACTIONPARAM2]\r\nEntry1=" +
                 templatePath + "\r\n[ACTIONPARAM3]\r\nEntry1=\r\n");
    }
    // Waits until a file exists (false after the deadline).
    static bool Exists(const std::string& path) {
        QElapsedTimer timer;
        timer.start();
        while (!std::filesystem::exists(path))
            if (timer.elapsed() > kHang)
                return false;
            else
                QThread::msleep(100);
        return true;
    }
    // Waits until aiosmtpd has stored this many messages; the count then.
    static int Received(const testpeers::SmtpSink& sink, int count) {
        QElapsedTimer timer;
        timer.start();
        while (sink.Count() < count && timer.elapsed() < kHang)
            QThread::msleep(100);
        return sink.Count();
    }

    uitest::TDesktop desktop_;
    QProcessEnvironment env_;
    qint64 pid_ = 0;
};

TEST_F(MessagesXvfbTest, ATemplateMadeInTheWindowRepliesWithTheAccountsName) {
    testpeers::SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    PointIniAtTest();
    AddGroup("G1", "Sales");
    AppendRow("NODES.DBF", {{"UNIQUE_ID", "A1"},
                            {"LINK_ID", "G1"},
                            {"NODE", "Sales Desk"},
                            {"ADDRESS", "sales@example.com"},
                            {"SMTPADDRES", "127.0.0.1:" + std::to_string(sink.Port())}});
    QProcess* cfgman = StartCfgman();
    ASSERT_NE(cfgman, nullptr);
    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(Shows(QStringLiteral("table cell"), QStringLiteral("E-Mail Accounts")));

    // File, New..., Auto-Reply Template...: the editor with the subject entry open.
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("n"), QStringLiteral("t")}));
    ASSERT_TRUE(Focus(QStringLiteral("New Message")));
    ASSERT_TRUE(Shows(uitest::Focused(QStringLiteral("text"))));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("Re: your order")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Tab")}));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("Hello from ")));

    // Insert, Merge Code...: System, the value typed, Enter.
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+i"), QStringLiteral("m")}));
    ASSERT_TRUE(Focus(QStringLiteral("Insert Merge Code")));
    ASSERT_TRUE(Shows(uitest::Focused(QStringLiteral("list"))));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Down"), QStringLiteral("alt+v")}));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("currentnode")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    ASSERT_TRUE(desktop_.WaitGone(QStringLiteral("Insert Merge Code"), kHang));
    ASSERT_TRUE(Focus(QStringLiteral("Re: your order")));
    ASSERT_TRUE(desktop_.Type(QStringLiteral(", thanks.")));

    // File, Save As...: the path typed into the dialog.
    const std::string path = root_ + "templates/Order reply.eml";
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("a")}));
    ASSERT_TRUE(Focus(QStringLiteral("Save As")));
    // The name field has the caret before the path is typed.
    ASSERT_TRUE(Shows(uitest::Focused(QStringLiteral("text"))));
    ASSERT_TRUE(desktop_.Type(QString::fromStdString(path)));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    ASSERT_TRUE(Exists(path)) << "Save As wrote nothing";
    // The templates page lists it.
    EXPECT_TRUE(Shows(uitest::Named(QStringLiteral("table cell"), QStringLiteral("Order reply"))));
    ASSERT_TRUE(Focus(QStringLiteral("Order reply.eml - Quelta Mail Management System")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("c")}));
    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("x")}));
    ASSERT_TRUE(cfgman->waitForFinished(kHang));
    EXPECT_EQ(cfgman->exitCode(), 0);

    TmsMessage saved;
    saved.LoadFromFile(path);
    EXPECT_EQ(saved.Subject(), "Re: your order");
    ASSERT_EQ(saved.Body().Lines(),
              std::vector<std::string>{"Hello from <<SYSTEM~CURRENTNODE>>, thanks."});

    // An agent that answers orders with the template, and a message for it.
    WriteAgent("Order answer", path);
    AppendRow("Agents.dbf", {{"UNIQUE_ID", "T1"}, {"LINK_ID", "A1"}, {"AGENT", "Order answer"}});
    Spit(root_ + "messages/A1/Pending/m.eml",
         "From: Ann Smith <ann@example.com>\r\nTo: sales@example.com\r\n"
         "Message-ID: <order.7@example.com>\r\nSubject: my order\r\n\r\nThree lamps.\r\n");
    Ini().WriteBool("AgentSettings", "AutoEnabled", false);
    ASSERT_EQ(QProcess::execute(QUELTA_BIN_DIR "/regsvr", {"/s", QUELTA_BIN_DIR "/libQuelta.so"}),
              0);
    const std::string prog = root_ + "prog/";
    for (const char* file : {"posta", "libwsock32.so"})
        std::filesystem::copy_file(std::string(QUELTA_BIN_DIR "/") + file, prog + file);
    QProcess posta;
    QProcessEnvironment headless = env_;
    headless.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    posta.setProcessEnvironment(ChildEnvironment(headless));
    posta.setProcessChannelMode(QProcess::MergedChannels);
    posta.start(QString::fromStdString(prog + "posta"), {QStringLiteral("/SINGLEPASS")});
    ASSERT_TRUE(posta.waitForFinished(kHang));
    const std::string log = Slurp(prog + "agentproc.log");
    EXPECT_EQ(posta.exitCode(), 0) << log;
    ASSERT_EQ(sink.Count(), 1) << log;
    const std::string reply = sink.Read("1.eml");
    EXPECT_NE(reply.find("Hello from Sales Desk, thanks."), std::string::npos) << reply;
    EXPECT_NE(reply.find("Subject:  Re: your order\r\n"), std::string::npos) << reply;
    EXPECT_NE(sink.Read("1.json").find("ann@example.com"), std::string::npos);
}

} // namespace
} // namespace cfgtest

namespace cfgtest {
namespace {

TEST_F(MessagesXvfbTest, AnOutboxMessageSentFromTheListArrivesAndAStoppedServerMovesNothing) {
    auto sink = std::make_unique<testpeers::SmtpSink>();
    ASSERT_GT(sink->Port(), 0);
    PointIniAtTest();
    AddGroup("G1", "Sales");
    AppendRow("NODES.DBF", {{"UNIQUE_ID", "A1"},
                            {"LINK_ID", "G1"},
                            {"NODE", "Sales Desk"},
                            {"ADDRESS", "sales@example.com"},
                            {"SMTPADDRES", "127.0.0.1:" + std::to_string(sink->Port())}});
    const std::string out = root_ + "messages/A1/Out/";
    const std::string sentFolder = root_ + "messages/A1/Sent/";
    const struct {
        const char *Id, *File, *Subject, *Body;
    } outbox[] = {{"O1", "o1.eml", "Your offer", "The prices are attached."},
                  {"O2", "o2.eml", "Second offer", "Another price."}};
    for (const auto& m : outbox) {
        AppendRow("outbox.dbf", {{"UNIQUE_ID", m.Id},
                                 {"LINK_ID", "A1"},
                                 {"SUBJECT", m.Subject},
                                 {"TONAME", "Ann Smith"},
                                 {"TOADDRESS", "ann@customer.example"},
                                 {"FILENAME", m.File}});
        Spit(out + m.File, std::string("From: Sales Desk <sales@example.com>\r\n"
                                       "To: Ann Smith <ann@customer.example>\r\n"
                                       "Subject: ") +
                               m.Subject + "\r\n\r\n" + m.Body + "\r\n");
    }

    QProcess* cfgman = StartCfgman();
    ASSERT_NE(cfgman, nullptr);
    ASSERT_TRUE(Focus(kCaption));
    TUiNode node;
    ASSERT_TRUE(Shows(QStringLiteral("table cell"), QStringLiteral("Sales Desk"), &node));
    ASSERT_TRUE(desktop_.Click(node));
    ASSERT_TRUE(Shows(QStringLiteral("page tab"), QStringLiteral("Outbox"), &node));
    ASSERT_TRUE(desktop_.Click(node));
    // The popup's "&Send Selected...".
    ASSERT_TRUE(PopupEntry(QStringLiteral("Your offer"), {QStringLiteral("s")}));
    ASSERT_EQ(Received(*sink, 1), 1);
    EXPECT_TRUE(Shows(QStringLiteral("label"), QStringLiteral("The message has been sent.")));
    EXPECT_NE(sink->Read("1.eml").find("The prices are attached."), std::string::npos);
    EXPECT_NE(sink->Read("1.json").find("ann@customer.example"), std::string::npos);
    // The sent list shows it, and the outbox only the second.
    ASSERT_TRUE(Shows(QStringLiteral("page tab"), QStringLiteral("Sent"), &node));
    ASSERT_TRUE(desktop_.Click(node));
    EXPECT_TRUE(Shows(QStringLiteral("table cell"), QStringLiteral("Your offer")));
    ASSERT_TRUE(Shows(QStringLiteral("page tab"), QStringLiteral("Outbox"), &node));
    ASSERT_TRUE(desktop_.Click(node));

    // The server is gone: the error is reported and nothing moves.
    sink.reset();
    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(PopupEntry(QStringLiteral("Second offer"), {QStringLiteral("s")}));
    EXPECT_FALSE(desktop_.WaitForWindow(QStringLiteral("quelta System Status"), kHang).isEmpty());
    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("x")}));
    ASSERT_TRUE(cfgman->waitForFinished(kHang));
    EXPECT_EQ(cfgman->exitCode(), 0);

    EXPECT_EQ(DbfRead(db_ + "outbox.dbf", "FILENAME"), std::vector<std::string>{"o2.eml"});
    EXPECT_EQ(DbfRead(db_ + "sent.dbf", "FILENAME"), std::vector<std::string>{"o1.eml"});
    EXPECT_EQ(DbfRead(db_ + "sent.dbf", "LINK_ID"), std::vector<std::string>{"A1"});
    EXPECT_EQ(DbfRead(db_ + "sent.dbf", "TOADDRESS"),
              std::vector<std::string>{"ann@customer.example"});
    EXPECT_TRUE(std::filesystem::exists(sentFolder + "o1.eml"));
    EXPECT_FALSE(std::filesystem::exists(out + "o1.eml"));
    EXPECT_TRUE(std::filesystem::exists(out + "o2.eml"));
    EXPECT_FALSE(std::filesystem::exists(sentFolder + "o2.eml"));
}

TEST_F(MessagesXvfbTest, CustomSendSendsTheChosenCopiesThroughTheServerSetInThePreferences) {
    testpeers::SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    const QString server = QStringLiteral("127.0.0.1:%1").arg(sink.Port());
    const QString from = QStringLiteral("Sales Desk <desk@example.com>");
    PointIniAtTest();
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Sales Desk");
    // A received message with its own Date and Message-ID and a binary file.
    const std::string received = "<lamps.1@customer.example>";
    AppendRow("RECEIVED.DBF", {{"MESSAGE_ID", received},
                               {"LINK_ID", "A1"},
                               {"FROM", "Ann Smith"},
                               {"SUBJECT", "Lamps"},
                               {"FILENAME", "lamps.eml"}});
    Spit(root_ + "messages/A1/In/lamps.eml",
         "From: Ann Smith <ann@customer.example>\r\nTo: desk@example.com\r\n"
         "Subject: Lamps\r\nDate: Tue, 8 Dec 1998 10:20:30 +0100\r\nMessage-ID: " +
             received +
             "\r\nMIME-Version: 1.0\r\n"
             "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
             "--b1\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n"
             "Two lamps, please.\r\n"
             "--b1\r\nContent-Type: application/octet-stream\r\n"
             "Content-Disposition: attachment; filename=\"plan.bin\"\r\n"
             "Content-Transfer-Encoding: base64\r\n\r\nAAH+/3BsYW4=\r\n--b1--\r\n");
    const std::string plan = std::string("\x00\x01\xfe\xffplan", 8);

    QProcess* cfgman = StartCfgman();
    ASSERT_NE(cfgman, nullptr);
    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(Shows(QStringLiteral("table cell"), QStringLiteral("Sales Desk")));

    // View, Preferences... (the menu's first entry; its "r" is shared with
    // Refresh): the server and the sender typed on the Mail page, Enter for OK.
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+v"), QStringLiteral("Return")}));
    ASSERT_TRUE(Focus(QStringLiteral("Preferences")));
    ASSERT_TRUE(ClickOn(QStringLiteral("page tab"), QStringLiteral("Mail")));
    ASSERT_TRUE(ClickOn(QStringLiteral("text"), QStringLiteral("SMTP address")));
    ASSERT_TRUE(desktop_.Type(server));
    ASSERT_TRUE(ClickOn(QStringLiteral("text"), QStringLiteral("Default From address")));
    ASSERT_TRUE(desktop_.Type(from));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    ASSERT_TRUE(desktop_.WaitGone(QStringLiteral("Preferences"), kHang));
    // MAIL.INI, as another program reads it.
    const std::string mailIni = root_ + "win/MAIL.INI";
    ASSERT_TRUE(Exists(mailIni));
    EXPECT_EQ(Crudini(mailIni, QStringLiteral("Internet"), QStringLiteral("SMTPAddress")), server);
    EXPECT_EQ(Crudini(mailIni, QStringLiteral("Internet"), QStringLiteral("DefaultFromAddress")),
              from);

    // The account's received message, opened from its list's popup.
    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(ClickOn(QStringLiteral("table cell"), QStringLiteral("Sales Desk")));
    ASSERT_TRUE(PopupEntry(QStringLiteral("Lamps"), {QStringLiteral("o")}));
    ASSERT_TRUE(Focus(QStringLiteral("Lamps")));

    // File, Custom Send... (its "c" is shared with Close, so Enter): ISO
    // 8859 chosen in the first list, MIME kept, two copies, Enter for OK.
    ASSERT_TRUE(
        desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("c"), QStringLiteral("Return")}));
    ASSERT_TRUE(Focus(QStringLiteral("Custom Send")));
    // A list is named by its choice: the character sets' list has the focus.
    ASSERT_TRUE(Shows(uitest::Focused(QStringLiteral("combo box"), QStringLiteral("US ASCII"))));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Down")}));
    ASSERT_TRUE(Shows(QStringLiteral("combo box"), QStringLiteral("ISO 8859")));
    ASSERT_TRUE(ClickOn(QStringLiteral("spin button"), QStringLiteral("Number of Copies:")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("ctrl+a")}));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("2")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    ASSERT_EQ(Received(sink, 2), 2);

    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("x")}));
    ASSERT_TRUE(cfgman->waitForFinished(kHang));
    EXPECT_EQ(cfgman->exitCode(), 0);
    EXPECT_EQ(sink.Count(), 2);

    // Two messages, each in a session of its own, from the preferences' sender.
    std::set<QString> ids;
    for (const char* n : {"1", "2"}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(sink.Read(std::string(n) + ".json"),
                  R"({"from": "desk@example.com", "to": ["ann@customer.example"]})");
        const QJsonObject m = PyMail(sink.Dir() + "/" + n + ".eml");
        EXPECT_EQ(m["from"].toString(), from);
        EXPECT_EQ(m["to"].toArray(), QJsonArray{"ann@customer.example"});
        EXPECT_EQ(m["subject"].toString(), "Lamps");
        EXPECT_EQ(m["charset"].toString() + " " + m["cte"].toString(),
                  "iso-8859-1 quoted-printable");
        EXPECT_EQ(m["body"].toString(), "Two lamps, please.\n");
        EXPECT_EQ(m["attachments"].toObject()["plan.bin"].toString(), Hex(plan));
        // The date of sending, not the received message's.
        const QDateTime date = QDateTime::fromString(m["date"].toString(), Qt::ISODate);
        ASSERT_TRUE(date.isValid()) << m["date"].toString().toStdString();
        EXPECT_LT(std::abs(date.secsTo(QDateTime::currentDateTimeUtc())), 86400)
            << m["date"].toString().toStdString();
        const QString id = m["message_id"].toString();
        EXPECT_TRUE(id.startsWith('<') && id.endsWith('>') && id.contains('@')) << id.toStdString();
        EXPECT_NE(id.toStdString(), received);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 2u) << "the copies share a Message-ID";
}

} // namespace
} // namespace cfgtest
