// The real cfgman on a desktop of its own, driven with keys and clicks as
// a user would, read back through the accessibility interface, and its
// files checked with outside readers (dbfread, crudini) and postp.
#include "cfgman/tests/cfgfixture.h"
#include "cfgman/tests/outside_readers.h"
#include "cfgman/tests/ui/desktop.h"
#include "mail/tests/dovecot_server.h"

#include <QRegularExpression>
#include <QThread>

namespace cfgtest {
namespace {

using uitest::Named;
using uitest::TUiNode;

const QString kApp = QStringLiteral("Quelta Mail Management System");
const QString kCaption = QStringLiteral("Quelta Configuration Manager");
// A deadline that only ends a hang: a loaded machine may take long for any step.
constexpr int kHang = 180000;

class XvfbTest : public CfgTest {
protected:
    void SetUp() override {
        CfgTest::SetUp();
        if (!desktop_.Failure().isEmpty())
            GTEST_SKIP() << "no desktop for the real program: " << desktop_.Failure().toStdString();
        env_.insert(QStringLiteral("QUELTA_WINDIR"), QString::fromStdString(root_ + "win"));
    }
    QProcess* StartCfgman() {
        return desktop_.Start(QStringLiteral(QUELTA_BIN_DIR "/cfgman"), {}, env_);
    }
    // The tree cell of a node's text, once it shows.
    bool TreeShows(const QString& text, TUiNode* node = nullptr, int ms = uitest::kHang) {
        return desktop_.WaitFor(kApp, Named(QStringLiteral("table cell"), text), ms, node);
    }
    bool Focus(const QString& title) {
        const QString id = desktop_.WaitForWindow(title, uitest::kHang);
        return !id.isEmpty() &&
               desktop_.XdoTool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), id});
    }

    uitest::TDesktop desktop_;
    QProcessEnvironment env_;
};

TEST_F(XvfbTest, AUserMakesRenamesAndTriesToDeleteAGroup) {
    PointIniAtTest();
    QProcess* cfgman = StartCfgman();
    ASSERT_NE(cfgman, nullptr);
    ASSERT_TRUE(Focus(kCaption)) << "the main window never showed; cfgman "
                                 << (cfgman->state() == QProcess::NotRunning
                                         ? "ended with " + std::to_string(cfgman->exitCode())
                                         : std::string("still runs"));
    ASSERT_TRUE(desktop_.WaitFor(kApp, Named(QStringLiteral("frame"), kCaption), uitest::kHang));
    ASSERT_TRUE(TreeShows(QStringLiteral("E-Mail Accounts")));

    // File, New..., Account Group...: the dialog, a name, Enter.
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("n"), QStringLiteral("g")}));
    ASSERT_TRUE(Focus(QStringLiteral("Create New Folder")));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("Field Sales")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    TUiNode group;
    ASSERT_TRUE(TreeShows(QStringLiteral("Field Sales"), &group));

    // Rename in place: click, F2, a new name, Enter.
    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(desktop_.Click(group));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("F2"), QStringLiteral("ctrl+a")}));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("Inside Sales")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    ASSERT_TRUE(TreeShows(QStringLiteral("Inside Sales"), &group));

    // Deleting the only group (still selected) is refused, with the reason.
    // A click on the selected node would start another edit.
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Delete")}));
    EXPECT_TRUE(desktop_.WaitFor(
        kApp,
        [](const TUiNode& n) {
            return n.Name.contains(QStringLiteral(
                "Unable to delete this folder, you must have at least one root folder."));
        },
        uitest::kHang));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    EXPECT_TRUE(TreeShows(QStringLiteral("Inside Sales")));

    // File, Exit.
    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("x")}));
    ASSERT_TRUE(cfgman->waitForFinished(uitest::kHang));
    EXPECT_EQ(cfgman->exitCode(), 0);

    const QStringList ids = DbfRows(db_ + "GROUPS.DBF", {QStringLiteral("UNIQUE_ID")});
    ASSERT_EQ(ids.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9]{14}Fi$")).match(ids[0]).hasMatch())
        << ids[0].toStdString();
    EXPECT_EQ(DbfRows(db_ + "GROUPS.DBF", {QStringLiteral("LINK_ID")}),
              QStringList{QString::fromStdString(OrgId())});
    EXPECT_EQ(DbfRows(db_ + "GROUPS.DBF", {QStringLiteral("GROUP")}),
              QStringList{QStringLiteral("Inside Sales")});
    const std::string ini = root_ + "win/quelta.ini";
    EXPECT_EQ(Crudini(ini, QStringLiteral("Folders"), QStringLiteral("DataBase")),
              QString::fromStdString(db_));
    EXPECT_EQ(Crudini(ini, QStringLiteral("Folders"), QStringLiteral("Messages")),
              QString::fromStdString(root_ + "messages/"));
    for (const char* key : {"Left", "Top", "Height", "Width"})
        EXPECT_NE(Crudini(ini, QStringLiteral("WindowPos"), QString::fromLatin1(key)),
                  QStringLiteral("<missing>"))
            << key;

    // The mail retriever still opens what cfgman wrote. A copy of it keeps
    // its log in the test's folder, with the socket layer beside it.
    const std::string prog = root_ + "prog/";
    for (const char* file : {"postp", "libwsock32.so"})
        std::filesystem::copy_file(std::string(QUELTA_BIN_DIR "/") + file, prog + file);
    QProcessEnvironment headless = env_;
    headless.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    EXPECT_EQ(RunProgram(QString::fromStdString(prog + "postp"), {QStringLiteral("/SINGLEPASS")},
                         nullptr, headless),
              0);
    const std::string log = Slurp(prog + "mailproc.log");
    EXPECT_NE(log.find("single pass"), std::string::npos) << log.substr(0, 400);
    EXPECT_EQ(log.find("Error-"), std::string::npos) << log.substr(0, 400);
}

TEST_F(XvfbTest, ATableHeldByAnotherProgramIsNamedAndTheFoldersStay) {
    PointIniAtTest();
    Ini().WriteString("Folders", "Messages", "/srv/quelta/mail/");
    TableHolder holder(db_, "RECEIVED.DBF", "exclusive");
    ASSERT_TRUE(holder.Ready());
    QProcess* cfgman = StartCfgman();
    ASSERT_NE(cfgman, nullptr);
    // Each wait ends on what it waits for; its deadline only ends a hang, so
    // a busy machine is given the time it takes.
    TUiNode box;
    ASSERT_TRUE(desktop_.WaitFor(
        kApp, [](const TUiNode& n) { return n.Name.contains(QStringLiteral("RECEIVED.DBF")); },
        kHang, &box))
        << "no message named the table";
    EXPECT_TRUE(box.Name.contains(QString::fromStdString(db_))) << box.Name.toStdString();
    EXPECT_TRUE(box.Name.contains(QStringLiteral("another program"))) << box.Name.toStdString();
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    // The main window shows once the box is answered.
    ASSERT_FALSE(desktop_.WaitForWindow(kCaption, kHang).isEmpty());
    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("x")}));
    ASSERT_TRUE(cfgman->waitForFinished(kHang));
    EXPECT_EQ(
        Crudini(root_ + "win/quelta.ini", QStringLiteral("Folders"), QStringLiteral("Messages")),
        QStringLiteral("/srv/quelta/mail/"));
}

TEST_F(XvfbTest, AUserMakesAnAccountThatTheRetrieverFetches) {
    nettest::DovecotServer dovecot;
    if (!dovecot.Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot.Why();
    dovecot.AddUser("sales", "secret");
    const std::string mail = "Message-ID: <order-1@x>\r\nSubject: order\r\n\r\nthree lamps\r\n";
    dovecot.Deliver("sales", mail);
    PointIniAtTest();
    AddGroup("G1", "Sales");
    QProcess* cfgman = StartCfgman();
    ASSERT_NE(cfgman, nullptr);
    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(TreeShows(QStringLiteral("Sales")));

    // File, New..., Mail Account (the submenu's first item; its "c" is shared
    // with the script item): the wizard, page by page with Enter.
    ASSERT_TRUE(
        desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("n"), QStringLiteral("Return")}));
    ASSERT_TRUE(Focus(QStringLiteral("Mail Account Wizard")));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("Field Sales")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    // The group the tree stands on is chosen already.
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    ASSERT_TRUE(desktop_.Type(QString::fromStdString(dovecot.Address())));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("sales")));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Tab")}));
    ASSERT_TRUE(desktop_.Type(QStringLiteral("secret")));
    ASSERT_TRUE(desktop_.Keys(
        {QStringLiteral("Return"), QStringLiteral("Return"), QStringLiteral("Return")}));
    // Retrieve YES, Delete NO.
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Tab"), QStringLiteral("Down")}));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("Return")}));
    ASSERT_TRUE(TreeShows(QStringLiteral("Field Sales"), nullptr, uitest::kHang));
    ASSERT_TRUE(Focus(kCaption));
    ASSERT_TRUE(desktop_.Keys({QStringLiteral("alt+f"), QStringLiteral("x")}));
    ASSERT_TRUE(cfgman->waitForFinished(uitest::kHang));

    const QStringList ids = DbfRows(db_ + "NODES.DBF", {QStringLiteral("UNIQUE_ID")});
    ASSERT_EQ(ids.size(), 1);
    EXPECT_EQ(DbfRows(db_ + "NODES.DBF", {QStringLiteral("LINK_ID")}), QStringList{"G1"});
    EXPECT_EQ(DbfRows(db_ + "NODES.DBF", {QStringLiteral("LOGIN")}), QStringList{"sales"});
    EXPECT_EQ(DbfRows(db_ + "NODES.DBF", {QStringLiteral("POPADDRESS")}),
              QStringList{QString::fromStdString(dovecot.Address())});
    EXPECT_EQ(DbfRows(db_ + "rules.dbf", {QStringLiteral("RULE")}),
              QStringList{"Control Restriction"});
    EXPECT_EQ(DbfRows(db_ + "rules.dbf", {QStringLiteral("ACT1")}), QStringList{"Y"});
    EXPECT_EQ(DbfRows(db_ + "rules.dbf", {QStringLiteral("ACT2")}), QStringList{"N"});
    const QStringList before = DbfRows(db_ + "NODES.DBF", {QStringLiteral("NEXTTIME")});

    const std::string prog = root_ + "prog/";
    for (const char* file : {"postp", "libwsock32.so"})
        std::filesystem::copy_file(std::string(QUELTA_BIN_DIR "/") + file, prog + file);
    QProcessEnvironment headless = env_;
    headless.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The account is due from the minute it was made.
    QThread::msleep(1000);
    ASSERT_EQ(RunProgram(QString::fromStdString(prog + "postp"), {QStringLiteral("/SINGLEPASS")},
                         nullptr, headless),
              0);
    const std::string pending =
        root_ + "messages/" + ids[0].toStdString() + "/Pending/-order-1@x-.eml";
    EXPECT_EQ(Slurp(pending), mail) << Slurp(prog + "mailproc.log").substr(0, 600);
    EXPECT_EQ(dovecot.Mailbox("sales").size(), 1u);
    // The schedule moved on by the account's interval.
    EXPECT_NE(DbfRows(db_ + "NODES.DBF", {QStringLiteral("NEXTTIME")}), before);
}

} // namespace
} // namespace cfgtest
