// The selected account's stored messages offscreen: the three lists under
// the tree with their popups, open, properties, forward, delete, sending an
// outbox message to aiosmtpd with the move to the sent items, re-sending,
// and the server preview of a Dovecot mailbox.
#include "cfgman/frminmessage.h"
#include "cfgman/frmmessage.h"
#include "cfgman/frmmsgproperties.h"
#include "cfgman/frmmsgsource.h"
#include "cfgman/frmrem.h"
#include "cfgman/messagelistmodel.h"
#include "cfgman/tests/mainfixture.h"
#include "cfgman/tests/pymail.h"
#include "mail/msmsg.h"
#include "mail/tests/dovecot_server.h"
#include "mail/tests/smtp_sink.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <numeric>

namespace cfgtest {
namespace {

using testpeers::HaveAiosmtpd;
using testpeers::SmtpSink;

void WriteMessage(const std::string& path, const std::string& subject, const std::string& body) {
    TmsMessage m;
    m.Sender().SetName("Sales Desk");
    m.Sender().SetAddress("sales@example.com");
    m.Recipients().Add("ann@example.com", "Ann Smith");
    m.CC().Add("carl@example.com", "Carl");
    m.SetSubject(subject);
    m.Body().Add(body);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    m.SaveToFile(path);
}

QStringList Column(const QAbstractItemModel& model) {
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r)
        texts << model.index(r, 0).data().toString();
    return texts;
}

class MessageWindowsTest : public MainTest {
protected:
    void SetUp() override {
        MainTest::SetUp();
        AddGroup("G1", "Sales");
    }
    void AddAccount(const std::string& id, const std::string& name, const std::string& smtp,
                    const Row& more = {}) {
        Row row = {{"UNIQUE_ID", id},
                   {"LINK_ID", "G1"},
                   {"NODE", name},
                   {"ADDRESS", "sales@example.com"},
                   {"SMTPADDRES", smtp}};
        row.insert(more.begin(), more.end());
        AppendRow("NODES.DBF", row);
    }
    void AddStored(const char* table, const std::string& id, const std::string& account,
                   const std::string& file, const std::string& subject) {
        AppendRow(table, {{"UNIQUE_ID", id},
                          {"LINK_ID", account},
                          {"SUBJECT", subject},
                          {"TONAME", "Ann Smith"},
                          {"TOADDRESS", "ann@example.com"},
                          {"FILENAME", file}});
    }
    void AddReceived(const std::string& key, const std::string& account, const std::string& file,
                     const std::string& from, const std::string& subject) {
        AppendRow("RECEIVED.DBF", {{"MESSAGE_ID", key},
                                   {"LINK_ID", account},
                                   {"FROM", from},
                                   {"SUBJECT", subject},
                                   {"FILENAME", file}});
    }
    std::string Folder(const std::string& account, const char* name) {
        return root_ + "messages/" + account + "/" + name + "/";
    }
};

TEST_F(MessageWindowsTest, AnAccountShowsItsThreeListsWithTheirPopups) {
    AddAccount("A1", "Orders", "");
    AddAccount("A2", "Enquiries", "");
    AddReceived("<r1@x>", "A1", "r1.eml", "Bob <bob@example.com>", "Hello");
    AddReceived("<r2@x>", "A2", "r2.eml", "Eve <eve@example.com>", "Other");
    AddStored("outbox.dbf", "O1", "A1", "o1.eml", "Offer");
    AddStored("sent.dbf", "S1", "A1", "s1.eml", "Invoice");
    AddStored("sent.dbf", "S2", "A1", "s2.eml", "Reminder");
    Start();
    EXPECT_FALSE(main_->panelMessagesHolder->isVisible());
    Select(Node({0, 0}));
    EXPECT_TRUE(main_->panelMessagesHolder->isVisible());
    EXPECT_EQ(main_->pageMessages->tabText(0), "Received");
    EXPECT_EQ(main_->pageMessages->tabText(1), "Outbox");
    EXPECT_EQ(main_->pageMessages->tabText(2), "Sent");
    EXPECT_EQ(Column(main_->lstVReceived, 0), QStringList{"Bob <bob@example.com>"});
    EXPECT_EQ(Column(main_->lstVOutBox, 2), QStringList{"Offer"});
    EXPECT_EQ(Column(main_->lstVSent, 2), (QStringList{"Invoice", "Reminder"}));
    Select(Node({0, 1}));
    EXPECT_EQ(Column(main_->lstVReceived, 1), QStringList{"Other"});
    EXPECT_EQ(main_->lstVSent->model()->rowCount(), 0);
    Select(Node({0}));
    EXPECT_FALSE(main_->panelMessagesHolder->isVisible());

    using V = std::vector<std::string>;
    EXPECT_EQ(Items(main_->PopupMenuOutBox), (V{"&Open", "&New Message...", "&Delete...", "-",
                                                "&Send Selected...", "-", "&Properties..."}));
    EXPECT_EQ(Items(main_->PopupMenuSent),
              (V{"&Open...", "&Delete...", "-", "&Re-Send...", "-", "&Properties..."}));
    EXPECT_EQ(Items(main_->PopupMenuReceived),
              (V{"&Open...", "&Delete...", "&Forward...", "-", "Preview Waiting Messages...", "-",
                 "&Properties..."}));
    // The received popup, as a right click opens it, enables its commands.
    Select(Node({0, 0}));
    main_->MenuItem6->setEnabled(false);
    emit main_->lstVReceived->customContextMenuRequested(QPoint(4, 4));
    EXPECT_TRUE(main_->PopupMenuReceived->isVisible());
    EXPECT_TRUE(main_->MenuItem6->isEnabled());
    main_->PopupMenuReceived->close();
}

TEST_F(MessageWindowsTest, TheReceivedListSortsDescendingFirstThenTheOtherWay) {
    AddAccount("A1", "Orders", "");
    AddReceived("<a@x>", "A1", "a.eml", "bob", "beta");
    AddReceived("<b@x>", "A1", "b.eml", "Ann", "alpha");
    AddReceived("<c@x>", "A1", "c.eml", "carl", "gamma");
    Start();
    Select(Node({0, 0}));
    QHeaderView* header = main_->lstVReceived->header();
    emit header->sectionClicked(0);
    EXPECT_EQ(Column(main_->lstVReceived, 0), (QStringList{"carl", "bob", "Ann"}));
    // One direction for every column: the next click sorts the other way.
    emit header->sectionClicked(1);
    EXPECT_EQ(Column(main_->lstVReceived, 1), (QStringList{"alpha", "beta", "gamma"}));
    emit header->sectionClicked(1);
    EXPECT_EQ(Column(main_->lstVReceived, 1), (QStringList{"gamma", "beta", "alpha"}));
}

TEST_F(MessageWindowsTest, TheCommandsActOnTheRowChosenWithTheKeysAlsoAfterASort) {
    AddAccount("A1", "Orders", "");
    AddReceived("<a@x>", "A1", "a.eml", "bob", "beta");
    AddReceived("<b@x>", "A1", "b.eml", "Ann", "alpha");
    AddReceived("<c@x>", "A1", "c.eml", "carl", "gamma");
    for (const char* f : {"a.eml", "b.eml", "c.eml"})
        WriteMessage(Folder("A1", "In") + f, f, "x");
    Start();
    Select(Node({0, 0}));
    QTreeView* list = main_->lstVReceived;
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    QTest::keyClick(list, Qt::Key_Down);
    ASSERT_EQ(CurrentText(list, 0), "Ann");
    // The sort moves the chosen row, and the choice goes with it.
    emit list->header()->sectionClicked(0);
    ASSERT_EQ(Column(list, 0), (QStringList{"carl", "bob", "Ann"}));
    EXPECT_EQ(CurrentText(list, 0), "Ann");
    EXPECT_EQ(list->selectionModel()->selectedRows(), QModelIndexList{list->model()->index(2, 0)});
    main_->MenuItem2->trigger();
    ASSERT_NE(LastEditor<cfgman::TfrmInMessage>(), nullptr);
    EXPECT_EQ(LastEditor<cfgman::TfrmInMessage>()->CurrentFileName(), Folder("A1", "In") + "b.eml");
    answers_ = {win::IDYES};
    main_->MenuItem3->trigger();
    EXPECT_FALSE(std::filesystem::exists(Folder("A1", "In") + "b.eml"));
    EXPECT_TRUE(std::filesystem::exists(Folder("A1", "In") + "a.eml"));
    EXPECT_TRUE(std::filesystem::exists(Folder("A1", "In") + "c.eml"));
    // Read again, the list shows the table's order and nothing chosen.
    EXPECT_EQ(Column(list, 0), (QStringList{"bob", "carl"}));
    EXPECT_FALSE(list->currentIndex().isValid());
    main_->MenuItem3->trigger();
    EXPECT_EQ(Rows("RECEIVED.DBF").size(), 2u);
    EXPECT_EQ(main_->ErrorCount(), 0);
}

// The list sorts as the user's language does (here the C locale's plain
// order, German and Swedish), rows of equal texts keeping their order,
// whichever way it goes.
TEST(MessageListModel, SortsAsTheLanguageComparesAndKeepsTheOrderOfEqualTexts) {
    // A zero-width space weighs nothing in a language's order, yet comes
    // after an empty text.
    const QStringList texts = {"b",  "B", "\u200b", "",      "a",  "\u00e4", "A",     "b",
                               "10", "9", "Zebra",  "zebra", "",   "\u00e9", "e",     "E",
                               " x", "x", "\u00c4", "a",     "Ab", "ab",     "\u200b"};
    const QLocale before;
    for (const QLocale& language : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
                                    QLocale(QLocale::Swedish, QLocale::Sweden)}) {
        QLocale::setDefault(language);
        SCOPED_TRACE(language.name().toStdString());
        cfgman::TMessageRows rows;
        for (int i = 0; i < texts.size(); ++i)
            rows.Add(i + 1, {texts[i].toStdString(), "", "", std::to_string(i)});
        cfgman::TMessageListModel model(cfgman::TMessageTable::Received);
        model.SetRows(std::move(rows));
        std::vector<int> expected(static_cast<std::size_t>(texts.size()));
        std::iota(expected.begin(), expected.end(), 0);
        for (Qt::SortOrder order : {Qt::DescendingOrder, Qt::AscendingOrder, Qt::DescendingOrder}) {
            std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
                const int c = QString::localeAwareCompare(texts[a], texts[b]);
                return order == Qt::AscendingOrder ? c < 0 : c > 0;
            });
            model.sort(0, order);
            std::vector<int> shown;
            for (int r = 0; r < model.rowCount(); ++r) {
                shown.push_back(model.RecNo(r) - 1);
                EXPECT_EQ(model.index(r, 0).data().toString(), texts[shown.back()]);
                EXPECT_EQ(model.index(r, 3).data().toString(), QString::number(shown.back()));
            }
            EXPECT_EQ(shown, expected)
                << (order == Qt::AscendingOrder ? "ascending" : "descending");
        }
        // German puts "\u00e4" among the a's, Swedish after z.
        model.sort(0, Qt::AscendingOrder);
        const QStringList sorted = Column(model);
        EXPECT_EQ(sorted.indexOf("\u00e4") < sorted.indexOf("b"),
                  language.language() == QLocale::German);
    }
    QLocale::setDefault(before);

    // What the view may ask of a list without rows.
    cfgman::TMessageListModel empty(cfgman::TMessageTable::Sent);
    EXPECT_EQ(empty.headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), "Date");
    EXPECT_FALSE(empty.data(QModelIndex(), Qt::DisplayRole).isValid());
    EXPECT_EQ(empty.RecNo(-1), 0);
    EXPECT_EQ(empty.RecNo(0), 0);
}

TEST_F(MessageWindowsTest, AReceivedMessageOpensWithItsRowAndShowsItsProperties) {
    AddAccount("A1", "Orders", "");
    AddReceived("<r1@x>", "A1", "r1.eml", "Bob", "Hello");
    AddStored("sent.dbf", "S1", "A1", "s1.eml", "Invoice");
    const std::string file = Folder("A1", "In") + "r1.eml";
    WriteMessage(file, "Hello there", "How are you?");
    Start();
    Select(Node({0, 0}));
    DoubleClickRow(main_->lstVReceived, 0);
    auto* window = LastEditor<cfgman::TfrmInMessage>();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->RecNo(), 1);
    EXPECT_EQ(window->lblFilename, "r1.eml");
    EXPECT_EQ(window->FromId(), "A1");
    EXPECT_EQ(window->FromName(), "Orders");
    EXPECT_EQ(window->CurrentFileName(), file);
    EXPECT_EQ(window->Subject(), "Hello there");

    WhenModal([&](QWidget* w) {
        auto* p = qobject_cast<cfgman::TfrmMsgProperties*>(w);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->edtSubject->text(), "Hello there");
        EXPECT_EQ(p->edtFrom->text(), "sales@example.com");
        EXPECT_EQ(p->lblAttachments->text(), "0");
        EXPECT_TRUE(p->memHeaders->toPlainText().contains(
            QRegularExpression("^Subject: +Hello there$", QRegularExpression::MultilineOption)))
            << p->memHeaders->toPlainText().toStdString();
        p->btnMessageSource->click();
        auto* source = p->findChild<cfgman::TfrmMsgSource*>();
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->windowTitle(), "Message Source");
        EXPECT_TRUE(source->isVisible());
        EXPECT_EQ(source->memSource->toPlainText().toStdString(),
                  QString::fromStdString(Slurp(file)).replace("\r\n", "\n").toStdString());
        EXPECT_TRUE(source->memSource->isReadOnly());
        p->accept();
    });
    main_->MenuItem6->trigger();

    // Another account and back: the properties are still the row's own.
    Select(Node({0}));
    Select(Node({0, 0}));
    SelectRow(main_->lstVReceived, 0);
    cfgman::TfrmMsgProperties* shown = nullptr;
    WhenModal([&](QWidget* w) {
        shown = qobject_cast<cfgman::TfrmMsgProperties*>(w);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->windowTitle(), "Message Properties");
        EXPECT_EQ(shown->edtSubject->text(), "Hello there");
        EXPECT_EQ(shown->edtFrom->text(), "sales@example.com");
        EXPECT_EQ(shown->edtFilename->text().toStdString(), file);
        EXPECT_FALSE(shown->btnApply->isEnabled());
        shown->reject();
    });
    main_->MenuItem6->trigger();
    ASSERT_NE(shown, nullptr);
}

TEST_F(MessageWindowsTest, OutboxAndSentPropertiesShowTheirRowsOwnMessage) {
    AddAccount("A1", "Orders", "");
    AddStored("outbox.dbf", "O1", "A1", "o1.eml", "Offer");
    AddStored("outbox.dbf", "O2", "A1", "gone.eml", "Lost");
    AddStored("sent.dbf", "S1", "A1", "s1.eml", "Invoice");
    WriteMessage(Folder("A1", "Out") + "o1.eml", "Offer of lamps", "x");
    WriteMessage(Folder("A1", "Sent") + "s1.eml", "Invoice 7", "x");
    Start();
    Select(Node({0, 0}));
    SelectRow(main_->lstVSent, 0);
    main_->MenuItem7->trigger(); // the message opened last is another one
    for (auto [list, item, subject, file] :
         {std::tuple{main_->lstVOutBox, main_->Properties1, "Offer of lamps",
                     Folder("A1", "Out") + "o1.eml"},
          std::tuple{main_->lstVSent, main_->SentProperties1, "Invoice 7",
                     Folder("A1", "Sent") + "s1.eml"}}) {
        SelectRow(list, 0);
        QString shown;
        WhenModal([&](QWidget* w) {
            auto* p = qobject_cast<cfgman::TfrmMsgProperties*>(w);
            ASSERT_NE(p, nullptr);
            shown = p->edtSubject->text() + "|" + p->edtFilename->text();
            p->accept();
        });
        item->trigger();
        EXPECT_EQ(shown.toStdString(), subject + std::string("|") + file);
    }
    // A row whose file is gone says so; no other message stands in.
    SelectRow(main_->lstVOutBox, 1);
    main_->Properties1->trigger();
    EXPECT_EQ(main_->ErrorCount(), 1);
    EXPECT_NE(LastLine().find("gone.eml"), std::string::npos) << LastLine();
}

TEST_F(MessageWindowsTest, ForwardOnTheReceivedListOpensTheMessageAsTheWindowsForwardDoes) {
    AddAccount("A1", "Orders", "");
    AddReceived("<r1@x>", "A1", "r1.eml", "Ann", "Greetings");
    Spit(Folder("A1", "In") + "r1.eml",
         "From: <ann@example.com>\r\nSubject: =?iso-8859-1?Q?Gr=FC=DFe?=\r\n"
         "Content-Type: text/plain; charset=iso-8859-1\r\n\r\nViele Gr\xfc\xdf"
         "e\r\n");
    Start();
    Select(Node({0, 0}));
    SelectRow(main_->lstVReceived, 0);
    main_->Forward1->trigger();
    ASSERT_EQ(Editors().size(), 1u) << LastLine();
    auto* forward = LastEditor<cfgman::TfrmMessage>();
    ASSERT_NE(forward, nullptr);
    EXPECT_EQ(forward->Subject(), QString::fromUtf8("Forward from Orders: Grüße"));
    EXPECT_EQ(forward->BodyLines().first(), QString::fromUtf8("Viele Grüße"));
    EXPECT_EQ(forward->FromId() + forward->FromAddress(), "A1sales@example.com");
    main_->MenuItem2->trigger();
    cfgman::TfrmMessage* fromWindow = LastEditor<cfgman::TfrmInMessage>()->Forward();
    EXPECT_EQ(fromWindow->Subject(), forward->Subject());
    EXPECT_EQ(fromWindow->BodyLines(), forward->BodyLines());
}

TEST_F(MessageWindowsTest, DeleteAsksThenTakesFileAndRowOrSaysWhyNot) {
    AddAccount("A1", "Orders", "");
    AddReceived("<r1@x>", "A1", "r1.eml", "Bob", "Hello");
    AddReceived("<r2@x>", "A1", "gone.eml", "Ann", "Lost");
    WriteMessage(Folder("A1", "In") + "r1.eml", "Hello", "x");
    Start();
    Select(Node({0, 0}));
    SelectRow(main_->lstVReceived, 0);
    answers_ = {win::IDNO};
    main_->MenuItem3->trigger();
    EXPECT_EQ(boxes_.back(), "Are you sure you want to delete this item?");
    EXPECT_EQ(captions_.back(), " Delete Confirmation");
    EXPECT_EQ(Rows("RECEIVED.DBF").size(), 2u);
    answers_ = {win::IDYES};
    main_->MenuItem3->trigger();
    EXPECT_FALSE(std::filesystem::exists(Folder("A1", "In") + "r1.eml"));
    EXPECT_EQ(LastLine().substr(LastLine().find(" -- ")),
              " -- Successfully deleted " + Folder("A1", "In") + "r1.eml");
    ASSERT_EQ(main_->lstVReceived->model()->rowCount(), 1);

    SelectRow(main_->lstVReceived, 0);
    answers_ = {win::IDYES};
    main_->MenuItem3->trigger();
    EXPECT_EQ(LastLine().substr(LastLine().find(" -- ")),
              " -- Unable to delete " + Folder("A1", "In") + "gone.eml");
    EXPECT_EQ(Rows("RECEIVED.DBF").size(), 1u);
    EXPECT_EQ(main_->ErrorCount(), 0);
}

TEST_F(MessageWindowsTest, SendSelectedDeliversMovesAndAFailedSendChangesNothing) {
    if (!HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    auto sink = std::make_unique<SmtpSink>();
    ASSERT_GT(sink->Port(), 0);
    const std::string server = "127.0.0.1:" + std::to_string(sink->Port());
    AddAccount("A1", "Orders", server);
    AddStored("outbox.dbf", "O1", "A1", "o1.eml", "Offer");
    AddStored("outbox.dbf", "O2", "A1", "o2.eml", "Second offer");
    WriteMessage(Folder("A1", "Out") + "o1.eml", "Offer", "Three lamps.");
    WriteMessage(Folder("A1", "Out") + "o2.eml", "Second offer", ".. and a dot line");
    Start();
    Select(Node({0, 0}));
    SelectRow(main_->lstVOutBox, 0);
    main_->SendNow1->trigger();
    ASSERT_EQ(sink->Count(), 1) << LastLine();
    const std::string envelope = sink->Read("1.json");
    EXPECT_NE(envelope.find("ann@example.com"), std::string::npos) << envelope;
    EXPECT_NE(envelope.find("carl@example.com"), std::string::npos) << envelope;
    EXPECT_NE(sink->Read("1.eml").find("Three lamps."), std::string::npos);
    EXPECT_EQ(main_->StatusPanel0->text(), "The message has been sent.");
    EXPECT_TRUE(std::filesystem::exists(Folder("A1", "Sent") + "o1.eml"));
    EXPECT_FALSE(std::filesystem::exists(Folder("A1", "Out") + "o1.eml"));
    const auto sent = Rows("sent.dbf");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].at("SUBJECT"), "Offer");
    EXPECT_EQ(sent[0].at("FILENAME"), "o1.eml");
    EXPECT_GE(sent[0].at("UNIQUE_ID").size(), 13u);
    EXPECT_EQ(Rows("outbox.dbf").size(), 1u);
    EXPECT_EQ(main_->lstVOutBox->model()->rowCount(), 1);
    EXPECT_EQ(main_->lstVSent->model()->rowCount(), 1);
    EXPECT_EQ(DbfRead(db_ + "sent.dbf", "FILENAME"), std::vector<std::string>{"o1.eml"});

    // The server is gone: an error, and the store as it was.
    sink.reset();
    main_->StatusPanel0->setText("before");
    SelectRow(main_->lstVOutBox, 0);
    main_->SendNow1->trigger();
    EXPECT_EQ(main_->ErrorCount(), 1);
    EXPECT_NE(LastLine().find(" -- Error-"), std::string::npos) << LastLine();
    EXPECT_EQ(main_->StatusPanel0->text().toStdString().find("sent"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(Folder("A1", "Out") + "o2.eml"));
    EXPECT_FALSE(std::filesystem::exists(Folder("A1", "Sent") + "o2.eml"));
    EXPECT_EQ(Rows("outbox.dbf").size(), 1u);
    EXPECT_EQ(Rows("sent.dbf").size(), 1u);
}

TEST_F(MessageWindowsTest, ReSendGoesToTheRowsRecipientFromTheAccountWithTheStoredFiles) {
    if (!HaveAiosmtpd())
        GTEST_SKIP() << "python3-aiosmtpd is not installed";
    SmtpSink sink;
    ASSERT_GT(sink.Port(), 0);
    AddAccount("A1", "Orders", "   ");
    AddAccount("A2", "Shop", "127.0.0.1:" + std::to_string(sink.Port()));
    AddStored("sent.dbf", "S1", "A1", "s1.eml", "Invoice");
    AddStored("sent.dbf", "S2", "A2", "s2.eml", "Invoice 2");
    WriteMessage(Folder("A1", "Sent") + "s1.eml", "Invoice", "x");
    // No To line; another sender, a copy recipient and a file.
    Spit(root_ + "figures.bin", "12 figures");
    TmsMessage stored;
    stored.Sender().SetAddress("billing@example.com");
    stored.CC().Add("carl@example.com", "Carl");
    stored.Body().Add("Total: 42");
    stored.Attachments().AddFile(root_ + "figures.bin");
    std::filesystem::create_directories(Folder("A2", "Sent"));
    stored.SaveToFile(Folder("A2", "Sent") + "s2.eml");
    Start();
    Select(Node({0, 0}));
    SelectRow(main_->lstVSent, 0);
    main_->MenuItem10->trigger();
    EXPECT_EQ(boxes_.back(), "The Server Name is blank for node - Orders");
    EXPECT_EQ(sink.Count(), 0);

    Select(Node({0, 1}));
    SelectRow(main_->lstVSent, 0);
    main_->MenuItem10->trigger();
    ASSERT_EQ(sink.Count(), 1) << LastLine();
    EXPECT_EQ(main_->StatusPanel0->text(), "The message has been sent.");
    EXPECT_NE(sink.Read("1.json").find(R"("from": "sales@example.com", "to": ["ann@example.com"])"),
              std::string::npos)
        << sink.Read("1.json");
    const QJsonObject m = PyMail(sink.Dir() + "/1.eml");
    EXPECT_EQ(m["from"].toString() + " | " + m["to_text"].toString() + " | " +
                  m["subject"].toString(),
              "Shop <sales@example.com> | Ann Smith <ann@example.com> | Invoice 2");
    EXPECT_EQ(m["cc"].toArray(), QJsonArray{});
    EXPECT_EQ(m["body"].toString(), "Total: 42\n");
    EXPECT_EQ(m["attachments"].toObject()["figures.bin"].toString(), Hex("12 figures"));
    EXPECT_EQ(Rows("sent.dbf").size(), 2u);
}

TEST_F(MessageWindowsTest, ThePreviewOfTheReceivedMenuListsTheWaitingHeadersAndLeavesThem) {
    nettest::DovecotServer dovecot;
    if (!dovecot.Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot.Why();
    dovecot.AddUser("sales", "secret");
    for (int i = 1; i <= 3; ++i)
        dovecot.Deliver("sales", "From: Ann <ann@example.com>\r\nSubject: Order " +
                                     std::to_string(i) + "\r\n\r\nlamps\r\n");
    AddAccount("A1", "Orders", "",
               {{"POPADDRESS", dovecot.Address()}, {"LOGIN", "sales"}, {"PASSWORD", "secret"}});
    Start();
    Select(Node({0, 0}));
    main_->Checkwhatsontheserver1->trigger();
    ASSERT_EQ(main_->ErrorCount(), 0) << LastLine();
    EXPECT_TRUE(main_->frmRem->isVisible());
    ASSERT_EQ(main_->frmRem->lstMessages->topLevelItemCount(), 3);
    const QStringList lines = status_->Lines();
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith(" -- Downloading Header 3 of 3 -- Order 3"));
    EXPECT_TRUE(lines[2].endsWith(" -- Downloading Header 1 of 3 -- Order 1"));

    QProcess py;
    py.start("/usr/bin/python3", {"-c",
                                  "import poplib, sys\n"
                                  "p = poplib.POP3('127.0.0.1', int(sys.argv[1]))\n"
                                  "p.user('sales'); p.pass_('secret')\n"
                                  "print(p.stat()[0]); p.quit()",
                                  QString::number(dovecot.Port())});
    ASSERT_TRUE(py.waitForFinished(30000));
    EXPECT_EQ(py.readAllStandardOutput().trimmed(), "3");
    EXPECT_EQ(dovecot.Mailbox("sales").size(), 3u);
}

} // namespace
} // namespace cfgtest
