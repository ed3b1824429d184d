// The stored-message and template changes without windows: deletes, the
// move from the outbox to the sent items, the file a received row names,
// template files and the merge codes the inserter builds.
#include "cfgman/core/cfgtables.h"
#include "cfgman/core/mailini.h"
#include "cfgman/core/messagelists.h"
#include "cfgman/core/outgoing.h"
#include "cfgman/core/templates.h"
#include "cfgman/tests/cfgfixture.h"
#include "data/schema.h"
#include "mail/msmsg.h"
#include "processor/store.h"

namespace cfgtest {
namespace {

class StoreTest : public CfgTest {
protected:
    void SetUp() override {
        CfgTest::SetUp();
        messages_ = root_ + "messages/";
        AddGroup("G1", "Sales");
        AddAccount("A1", "G1", "Orders");
        AddAccount("A2", "G1", "Enquiries");
    }
    void Open() {
        tables_ = std::make_unique<cfgman::TCfgTables>();
        tables_->PointAt(db_);
        tables_->Open();
        // The account A1, as the tree selects it.
        tables_->XbNodes2.Go(1);
    }
    std::string Out(const std::string& account = "A1") { return messages_ + account + "/Out/"; }
    std::string Sent(const std::string& account = "A1") { return messages_ + account + "/Sent/"; }
    std::string In(const std::string& account = "A1") { return messages_ + account + "/In/"; }

    void AddOutbox(const std::string& id, const std::string& file,
                   const std::string& account = "A1") {
        AppendRow("outbox.dbf", {{"UNIQUE_ID", id},
                                 {"LINK_ID", account},
                                 {"SUBJECT", "Offer " + id},
                                 {"DATE", "3/5/24"},
                                 {"TONAME", "Ann Smith"},
                                 {"TOADDRESS", "ann@example.com"},
                                 {"FILENAME", file}});
    }

    std::string messages_;
    std::unique_ptr<cfgman::TCfgTables> tables_;
};

TEST_F(StoreTest, TheListsShowTheSelectedAccountsRowsWithTheirRecordNumbers) {
    AddOutbox("O1", "o1.eml");
    AddOutbox("O2", "o2.eml", "A2");
    AddOutbox("O3", "o3.eml");
    AppendRow("RECEIVED.DBF", {{"MESSAGE_ID", "<k@x>"},
                               {"LINK_ID", "A1"},
                               {"FROM", "Bob <bob@example.com>"},
                               {"SUBJECT", "Hello"},
                               {"RECDATE", "12/31/23"},
                               {"FILENAME", "-k@x-.eml"}});
    Open();
    const auto out =
        cfgman::ReadMessageRows(tables_->TableOut, tables_->XbOut, cfgman::TMessageTable::OutBox);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out.RecNo(0), 1);
    EXPECT_EQ(out.RecNo(1), 3);
    EXPECT_EQ(out.Columns(1),
              (std::vector<std::string>{"Ann Smith", "ann@example.com", "Offer O3", "2024-03-05"}));
    const auto in = cfgman::ReadMessageRows(tables_->TableReceived, tables_->XbReceived,
                                            cfgman::TMessageTable::Received);
    ASSERT_EQ(in.size(), 1u);
    EXPECT_EQ(in.Columns(0), (std::vector<std::string>{"Bob <bob@example.com>", "Hello",
                                                       "2023-12-31", "-k@x-.eml"}));
}

// Rows of every length, across the blocks their texts are kept in: each
// column reads back as it was added, empty ones and one longer than a block
// among them.
TEST(MessageRows, EveryRowReadsBackAsItWasAddedAcrossTheBlocks) {
    cfgman::TMessageRows rows;
    std::vector<std::array<std::string, cfgman::TMessageRows::kColumns>> added;
    for (int i = 0; i < 5000; ++i) {
        std::array<std::string, cfgman::TMessageRows::kColumns> columns = {
            std::string(static_cast<std::size_t>(i % 97), char('a' + i % 26)),
            i % 7 == 0 ? std::string() : "subject " + std::to_string(i), std::string(),
            std::to_string(i)};
        if (i == 2500)
            columns[2] = std::string(200000, 'x');
        rows.Add(i + 1, columns);
        added.push_back(columns);
    }
    ASSERT_EQ(rows.size(), added.size());
    for (std::size_t r = 0; r < added.size(); ++r) {
        ASSERT_EQ(rows.RecNo(r), static_cast<std::int32_t>(r + 1));
        for (std::size_t c = 0; c < cfgman::TMessageRows::kColumns; ++c)
            ASSERT_EQ(rows.Column(r, c), added[r][c]) << "row " << r << ", column " << c;
    }
}

// Listing walks the received rows without their action rows following each
// one; they follow the row the list comes back to, once.
TEST_F(StoreTest, ListingMovesTheDetailsOnlyToTheRowItComesBackTo) {
    for (const char* key : {"<k1@x>", "<k2@x>", "<k3@x>"}) {
        AppendRow("RECEIVED.DBF", {{"MESSAGE_ID", key}, {"LINK_ID", "A1"}, {"FILENAME", "f.eml"}});
        AppendRow("ACTIONS.DBF", {{"UNIQUE_ID", std::string("X") + key}, {"MESSAGE_ID", key}});
    }
    Open();
    tables_->TableReceived.Next(); // on <k2@x>
    ASSERT_EQ(tables_->TableActions.FieldByName("MESSAGE_ID").AsString(), "<k2@x>");
    int scrolls = 0;
    tables_->TableActions.AfterScroll = [&](data::TTable&) { ++scrolls; };
    const auto in = cfgman::ReadMessageRows(tables_->TableReceived, tables_->XbReceived,
                                            cfgman::TMessageTable::Received);
    EXPECT_EQ(in.size(), 3u);
    EXPECT_EQ(tables_->TableReceived.FieldByName("MESSAGE_ID").AsString(), "<k2@x>");
    EXPECT_EQ(tables_->TableActions.FieldByName("MESSAGE_ID").AsString(), "<k2@x>");
    EXPECT_EQ(scrolls, 1);
}

TEST_F(StoreTest, DeletingTakesTheFileThenTheRowAndAMissingFileKeepsItsRow) {
    AddOutbox("O1", "o1.eml");
    AddOutbox("O2", "gone.eml");
    Spit(Out() + "o1.eml", "x");
    Open();
    auto change = cfgman::DeleteStoredMessage(tables_->TableOut, tables_->XbOut, 1, messages_,
                                              cfgman::TMessageTable::OutBox);
    EXPECT_TRUE(change.Done);
    EXPECT_EQ(change.LogLine, "Successfully deleted " + Out() + "o1.eml");
    EXPECT_FALSE(std::filesystem::exists(Out() + "o1.eml"));
    change = cfgman::DeleteStoredMessage(tables_->TableOut, tables_->XbOut, 2, messages_,
                                         cfgman::TMessageTable::OutBox);
    EXPECT_FALSE(change.Done);
    EXPECT_EQ(change.LogLine, "Unable to delete " + Out() + "gone.eml");
    tables_.reset();
    const auto rows = Rows("outbox.dbf");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("UNIQUE_ID"), "O2");
}

TEST_F(StoreTest, ARowNamingAPathOutsideItsFolderIsRefusedAndNothingIsDeleted) {
    const std::vector<std::string> names = {"../A2/Out/o.eml", "..\\keep.eml", "..", ""};
    for (std::size_t i = 0; i < names.size(); ++i)
        AddOutbox("O" + std::to_string(i), names[i]);
    Spit(Out("A2") + "o.eml", "keep");
    Spit(messages_ + "A1/keep.eml", "keep");
    Open();
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_THROW((void)cfgman::DeleteStoredMessage(tables_->TableOut, tables_->XbOut,
                                                       std::int32_t(i + 1), messages_,
                                                       cfgman::TMessageTable::OutBox),
                     std::runtime_error)
            << names[i];
    cfgman::GoToRow(tables_->TableOut, tables_->XbOut, 1);
    EXPECT_THROW((void)cfgman::MoveToSent(tables_->TableOut, tables_->XbOut, tables_->TableSent,
                                          messages_, "S1"),
                 std::runtime_error);
    tables_.reset();
    EXPECT_EQ(Slurp(Out("A2") + "o.eml"), "keep");
    EXPECT_EQ(Slurp(messages_ + "A1/keep.eml"), "keep");
    EXPECT_EQ(Rows("outbox.dbf").size(), names.size());
    EXPECT_TRUE(Rows("sent.dbf").empty());
}

TEST_F(StoreTest, ARowHeldByAnotherProgramKeepsItsFile) {
    AddOutbox("O1", "o1.eml");
    Spit(Out() + "o1.eml", "x");
    TableHolder holder(db_, "outbox.dbf", "1");
    ASSERT_TRUE(holder.Ready());
    Open();
    EXPECT_THROW((void)cfgman::DeleteStoredMessage(tables_->TableOut, tables_->XbOut, 1, messages_,
                                                   cfgman::TMessageTable::OutBox),
                 data::EDatabaseError);
    EXPECT_TRUE(std::filesystem::exists(Out() + "o1.eml"));
}

TEST_F(StoreTest, AMoveTakesTheFileFirstIntoTheRowsOwnAccountsSentFolder) {
    AddOutbox("O1", "o1.eml");
    Spit(Out() + "o1.eml", "the message");
    Open();
    cfgman::GoToRow(tables_->TableOut, tables_->XbOut, 1);
    // The Sent folder does not exist yet.
    const auto change =
        cfgman::MoveToSent(tables_->TableOut, tables_->XbOut, tables_->TableSent, messages_, "S1");
    EXPECT_TRUE(change.Done);
    EXPECT_EQ(change.LogLine,
              "Successfully moved " + Out() + " to " + Sent() + "o1.eml in sent items folder");
    EXPECT_EQ(Slurp(Sent() + "o1.eml"), "the message");
    EXPECT_FALSE(std::filesystem::exists(Out() + "o1.eml"));
    tables_.reset();
    EXPECT_TRUE(Rows("outbox.dbf").empty());
    const auto sent = Rows("sent.dbf");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].at("UNIQUE_ID"), "S1");
    EXPECT_EQ(sent[0].at("LINK_ID"), "A1");
    EXPECT_EQ(sent[0].at("SUBJECT"), "Offer O1");
    EXPECT_EQ(sent[0].at("TONAME"), "Ann Smith");
    EXPECT_EQ(sent[0].at("TOADDRESS"), "ann@example.com");
    EXPECT_EQ(sent[0].at("FILENAME"), "o1.eml");
    EXPECT_EQ(DbfRead(db_ + "sent.dbf", "DATE"), std::vector<std::string>{"2024-03-05"});
    EXPECT_EQ(sent[0].at("STATUS"), "");
}

TEST_F(StoreTest, AMoveThatWouldReplaceASentFileChangesNothing) {
    AddOutbox("O1", "o1.eml");
    Spit(Out() + "o1.eml", "new");
    Spit(Sent() + "o1.eml", "sent before");
    Open();
    cfgman::GoToRow(tables_->TableOut, tables_->XbOut, 1);
    const auto change =
        cfgman::MoveToSent(tables_->TableOut, tables_->XbOut, tables_->TableSent, messages_, "S1");
    EXPECT_FALSE(change.Done);
    EXPECT_EQ(change.LogLine,
              "Failed to move " + Out() + "o1.eml to " + Sent() + "o1.eml in sent items folder");
    EXPECT_EQ(Slurp(Sent() + "o1.eml"), "sent before");
    EXPECT_EQ(Slurp(Out() + "o1.eml"), "new");
    tables_.reset();
    EXPECT_EQ(Rows("outbox.dbf").size(), 1u);
    EXPECT_TRUE(Rows("sent.dbf").empty());
}

TEST_F(StoreTest, ASentRowThatCannotBeWrittenPutsTheFileBack) {
    AddOutbox("O1", "o1.eml");
    Spit(Out() + "o1.eml", "the message");
    Open();
    cfgman::GoToRow(tables_->TableOut, tables_->XbOut, 1);
    // A sent table that takes no row.
    tables_->TableSent.Close();
    EXPECT_ANY_THROW((void)cfgman::MoveToSent(tables_->TableOut, tables_->XbOut, tables_->TableSent,
                                              messages_, "S1"));
    EXPECT_EQ(Slurp(Out() + "o1.eml"), "the message");
    EXPECT_FALSE(std::filesystem::exists(Sent() + "o1.eml"));
    tables_.reset();
    EXPECT_EQ(Rows("outbox.dbf").size(), 1u);
    EXPECT_TRUE(Rows("sent.dbf").empty());
}

TEST_F(StoreTest, AReceivedRowFindsItsFileWhenTheNameWasCutToTheField) {
    // posta names the file after the whole Message-ID; the row keeps 30
    // characters of the name and 40 of the key.
    const std::string id = "<CAF7a1b2c3d4e5f6g7h8i9j0k1l2m3n4o5p6@mail.example.com>";
    const std::string file = "-CAF7a1b2c3d4e5f6g7h8i9j0k1l2m3n4o5p6@mail.example.com-.eml";
    Spit(In() + file, "m");
    Spit(In() + "-CAF7a1b2c3d4e5f6g7h8i9j0k1l2XXXX-.eml", "other with the same 30");
    AppendRow("RECEIVED.DBF", {{"MESSAGE_ID", id}, {"LINK_ID", "A1"}, {"FILENAME", file}});
    AppendRow("RECEIVED.DBF",
              {{"MESSAGE_ID", "<short@x>"}, {"LINK_ID", "A1"}, {"FILENAME", "s.eml"}});
    Open();
    cfgman::GoToRow(tables_->TableReceived, tables_->XbReceived, 1);
    EXPECT_EQ(
        cfgman::RowMessagePath(tables_->TableReceived, messages_, cfgman::TMessageTable::Received),
        In() + file);
    cfgman::GoToRow(tables_->TableReceived, tables_->XbReceived, 2);
    EXPECT_EQ(
        cfgman::RowMessagePath(tables_->TableReceived, messages_, cfgman::TMessageTable::Received),
        In() + "s.eml");
}

TEST_F(StoreTest, ReceivedRowsOfLongKeysAlikeFindTheirOwnFiles) {
    // Names alike in far more than the row's 30 characters, keys in more
    // than 40: the row holds a digest of the whole key.
    const std::string pr = "<example-org/a-long-repository-name/pull/4711/";
    const std::vector<std::string> ids = {pr + "c1001@github.example>",
                                          pr + "c1002@github.example>"};
    for (const std::string& id : ids) {
        const std::string file = quelta::MessageFileName(id);
        Spit(In() + file, "Message-ID: " + id + "\r\nSubject: s\r\n\r\nbody\r\n");
        AppendRow(
            "RECEIVED.DBF",
            {{"MESSAGE_ID", data::StoredMessageKey(id)}, {"LINK_ID", "A1"}, {"FILENAME", file}});
    }
    Open();
    for (int row = 1; row <= 2; ++row) {
        cfgman::GoToRow(tables_->TableReceived, tables_->XbReceived, row);
        EXPECT_EQ(cfgman::RowMessagePath(tables_->TableReceived, messages_,
                                         cfgman::TMessageTable::Received),
                  In() + quelta::MessageFileName(ids[static_cast<std::size_t>(row - 1)]));
    }
}

TEST(Templates, NamesArePlainFilesOfTheFolderAndChangesNeverReplaceOne) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    EXPECT_EQ(cfgman::TemplatePath(folder, "Welcome"), folder + "Welcome.eml");
    for (const char* bad : {"", "../x", "a\\b", ".."})
        EXPECT_THROW((void)cfgman::TemplatePath(folder, bad), std::runtime_error) << bad;

    Spit(folder + "Welcome.eml", "w");
    Spit(folder + "Thanks.eml", "t");
    EXPECT_THROW(cfgman::RenameTemplate(folder, "Welcome", "Thanks"), std::runtime_error);
    EXPECT_EQ(Slurp(folder + "Thanks.eml"), "t");
    cfgman::RenameTemplate(folder, "Welcome", "Hello");
    EXPECT_EQ(Slurp(folder + "Hello.eml"), "w");
    EXPECT_FALSE(std::filesystem::exists(folder + "Welcome.eml"));

    cfgman::DeleteTemplate(folder, "Hello");
    EXPECT_FALSE(std::filesystem::exists(folder + "Hello.eml"));
    // A file that cannot be deleted is a failure, never a silent one.
    EXPECT_THROW(cfgman::DeleteTemplate(folder, "Hello"), std::runtime_error);
    std::filesystem::create_directory(folder + "Folder.eml");
    EXPECT_THROW(cfgman::DeleteTemplate(folder, "Folder"), std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_directory(folder + "Folder.eml"));
}

TEST(Templates, TheInserterBuildsItsCodesInUpperCase) {
    EXPECT_EQ(cfgman::CategoryWord("Reply to Header"), "REPLYHEADER");
    EXPECT_EQ(cfgman::CategoryWord("System"), "SYSTEM");
    EXPECT_EQ(cfgman::CategoryWord("Expression"), "EXPRESSION");
    EXPECT_EQ(cfgman::MergeCodeText("SYSTEM", "CURRENTNODE"), "<<SYSTEM~CURRENTNODE>>");
    EXPECT_EQ(cfgman::MergeCodeText("REPLYHEADER", "fromname"), "<<REPLYHEADER~FROMNAME>>");
    EXPECT_EQ(cfgman::MergeCodeText("REPLYHEADER", ""), "<<REPLYHEADER~>>");
    EXPECT_EQ(cfgman::MergeCodeText("EXPRESSION", "str(1+3)"), "<<EXPRESSION~STR(1+3)>>");
}

TEST(Templates, ThePreviewFillsNoAccountNoExpressionAndNamesThisVersion) {
    TmsMessage m;
    m.Body().Add("<<SYSTEM~CURRENTNODE>>");
    m.Body().Add("<<EXPRESSION~1+2>>");
    m.Body().Add("v <<SYSTEM~VERSION>>");
    m.Body().Add("Dear <<REPLYHEADER~FROMNAME>>,");
    std::vector<std::string> log;
    TmsMessage example;
    EXPECT_EQ(quelta::ProccessMergeCodes(
                  m, example,
                  cfgman::PreviewMergeContext([&](const std::string& s) { log.push_back(s); })),
              "");
    EXPECT_EQ(m.Body().Lines(),
              (std::vector<std::string>{"<no value provided>", "<no value provided>",
                                        "v Dovira Quelta Mail Management System Version: 1.018",
                                        "Dear <no value provided>,"}));
    EXPECT_FALSE(log.empty());
}

TEST_F(StoreTest, MailIniIsReadFromTheWindowsDirectoryAndBlanksAreNoServer) {
    EXPECT_EQ(cfgman::ReadMailIni().DefaultFromAddress, "");
    EXPECT_EQ(cfgman::ReadMailIni().SMTPAddress, "");
    Spit(root_ + "win/MAIL.INI",
         "[Internet]\r\nDefaultFromAddress=desk@example.com\r\nSMTPAddress=   \r\n");
    EXPECT_EQ(cfgman::ReadMailIni().DefaultFromAddress, "desk@example.com");
    EXPECT_EQ(cfgman::ReadMailIni().SMTPAddress, "");
    Spit(root_ + "win/MAIL.INI", "[internet]\r\nsmtpaddress=  mail.example.com \r\n");
    EXPECT_EQ(cfgman::ReadMailIni().SMTPAddress, "mail.example.com");
}

// Re-Send goes to the sent row's recipient; a value the row's field cut
// is taken whole from the stored file, never one that only begins alike.
TEST_F(StoreTest, ReSendCompletesWhatTheSentRowCut) {
    TmsMessage stored, out;
    const std::string box = "accounts.payable@" + std::string(40, 'x') + ".example.com";
    const std::string name = "Accounts Payable Department of the Example Company";
    stored.Recipients().Add(box, name);
    stored.Headers().Add("Received: from mx by here");
    cfgman::MakeResendMessage(stored,
                              {box.substr(0, 50), name.substr(0, 40), "Invoice", 50, 40, 80},
                              "Orders", "orders@example.com", out);
    ASSERT_EQ(out.Recipients().Count(), 1);
    EXPECT_EQ(out.Recipients()[0].Address(), box);
    EXPECT_EQ(out.Recipients()[0].Name(), name);
    EXPECT_EQ(out.Headers().Count(), 0);
    cfgman::MakeResendMessage(stored, {"accounts.payable", "Accounts", "", 50, 40, 80}, "Orders",
                              "orders@example.com", out);
    EXPECT_EQ(out.Recipients()[0].Address(), "accounts.payable");
    EXPECT_EQ(out.Recipients()[0].Name(), "Accounts");
    cfgman::MakeResendMessage(stored, {"", "", "", 50, 40, 80}, "Orders", "o@example.com", out);
    EXPECT_THROW(out.Validate(), EMessageError);
}

} // namespace
} // namespace cfgtest
