// The message editors' core without windows: what a saved message keeps,
// the attachment folder, the ruler, and the received rows behind Handling
// and "View Message...".
#include "cfgman/core/attachfolder.h"
#include "cfgman/core/messagefields.h"
#include "cfgman/core/messagerows.h"
#include "cfgman/core/ruler.h"
#include "cfgman/tests/cfgfixture.h"
#include "data/schema.h"
#include "mail/exception.h"
#include "mail/msmsg.h"
#include "platform/win/datetime.h"
#include "platform/win/tempfile.h"
#include "processor/store.h"

#include <sstream>

namespace cfgtest {
namespace {

void Parse(TmsMessage& m, const std::string& text) {
    std::istringstream in(text);
    m.LoadFromStream(in);
}

std::string Compose(TmsMessage& m) {
    std::ostringstream out;
    m.SaveToStream(out);
    return out.str();
}

const char* const kOutboxMessage = "From: Sales <sales@example.com>\r\n"
                                   "To: Ann <ann@example.com>, bob@example.com\r\n"
                                   "CC: Carl <carl@example.com>\r\n"
                                   "X-Priority: 1\r\n"
                                   "X-Order: 4711\r\n"
                                   "Subject: Offer\r\n"
                                   "\r\n"
                                   "Old text\r\n";

TEST(MessageFields, ASavedMessageKeepsItsRecipientsHeadersAndSender) {
    TmsMessage m;
    Parse(m, kOutboxMessage);
    cfgman::TEditorFields f;
    f.Subject = std::string(300, 's');
    f.Body = {"New text", "", "Regards"};
    cfgman::PopulateMessage(m, f);
    EXPECT_EQ(m.Subject().size(), 255u);
    ASSERT_EQ(m.Recipients().Count(), 2);
    EXPECT_EQ(m.Recipients()[0].Address(), "ann@example.com");
    EXPECT_EQ(m.CC()[0].Name(), "Carl");
    EXPECT_EQ(m.Priority(), ptHigh);
    // No sender address in the window: the message's own stays.
    EXPECT_EQ(m.Sender().Address(), "sales@example.com");
    const std::string text = Compose(m);
    EXPECT_NE(text.find("X-Order: 4711\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("bob@example.com"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nNew text\r\n\r\nRegards\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Old text"), std::string::npos);

    // The window's sender wins when it has one.
    f.SenderName = "Help Desk";
    f.SenderAddress = "help@example.com";
    cfgman::PopulateMessage(m, f);
    EXPECT_EQ(m.Sender().Address(), "help@example.com");
    EXPECT_EQ(m.Sender().Name(), "Help Desk");
}

TEST(MessageFields, AttachmentsComeFromTheRowsFilesInOrder) {
    QTemporaryDir dir;
    const std::string a = dir.path().toStdString() + "/a report with blanks.pdf";
    const std::string b = dir.path().toStdString() + "/b.txt";
    Spit(a, std::string("%PDF\0\1\2", 7));
    Spit(b, "plain\r\n");
    TmsMessage m;
    Parse(m, kOutboxMessage);
    cfgman::TEditorFields f;
    f.Attachments = {b, a};
    cfgman::PopulateMessage(m, f);
    ASSERT_EQ(m.Attachments().Count(), 2);
    EXPECT_EQ(m.Attachments()[0].Data(), "plain\r\n");
    EXPECT_EQ(m.Attachments()[1].Data(), std::string("%PDF\0\1\2", 7));
    // A file gone since it was listed: the save fails, it is not skipped.
    f.Attachments = {dir.path().toStdString() + "/gone.zip"};
    EXPECT_THROW(cfgman::PopulateMessage(m, f), EFOpenError);
}

TEST(MessageFields, CaptionsAndQuestions) {
    EXPECT_EQ(cfgman::FileCaption("/tpl/Welcome.eml"),
              "Welcome.eml - Quelta Mail Management System");
    EXPECT_EQ(cfgman::SubjectCaption(""), "New Message");
    EXPECT_EQ(cfgman::SaveChangesQuestion(""), "Save changes?");
    EXPECT_EQ(cfgman::SaveChangesQuestion("/x/a.eml"), "Save changes to /x/a.eml?");
    EXPECT_EQ(cfgman::OverwriteQuestion("/x/a.eml"), "OK to overwrite /x/a.eml");
    EXPECT_EQ(cfgman::ReplySubject("Order"), "Re: Order");
    EXPECT_EQ(cfgman::ForwardSubject("Sales", "s@x", "Order"), "Forward from Sales: Order");
    EXPECT_EQ(cfgman::ForwardSubject("", "s@x", "Order"), "Forward from s@x: Order");
}

TEST(AttachmentFolder, EachAttachmentKeepsItsNameAndNothingLeavesTheFolder) {
    TmsMessage m;
    for (const auto& [name, data] : std::vector<std::pair<std::string, std::string>>{
             {"scan.png", "first"}, {"scan.png", "second"}, {"../../etc/evil", "third"}}) {
        auto item = std::make_unique<TmsAttItem>();
        item->SetFileName(name);
        item->SetData(data);
        m.Attachments().AddItem(std::move(item));
    }
    std::string folder;
    {
        cfgman::TAttachmentFolder attachments;
        EXPECT_TRUE(attachments.Path().empty());
        const std::string p0 = attachments.Save(m, 0);
        const std::string p1 = attachments.Save(m, 1);
        const std::string p2 = attachments.Save(m, 2);
        folder = attachments.Path();
        EXPECT_EQ(folder.rfind(win::GetTempPath(), 0), 0u) << folder;
        EXPECT_NE(p0, p1);
        EXPECT_EQ(Slurp(p0), "first");
        EXPECT_EQ(Slurp(p1), "second");
        EXPECT_EQ(std::filesystem::path(p1).filename(), "scan.png");
        EXPECT_EQ(p2.rfind(folder, 0), 0u) << p2;
        EXPECT_EQ(std::filesystem::path(p2).filename(), "evil");
        EXPECT_EQ(Slurp(p2), "third");
        EXPECT_EQ(std::filesystem::status(folder).permissions() &
                      std::filesystem::perms::others_read,
                  std::filesystem::perms::none);
    }
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(EditRuler, MarkersAndIndentsMeetAgain) {
    const cfgman::TIndents in{36, 18, 9};
    const cfgman::TMarkers m = cfgman::MarkerPositions(in, 500);
    EXPECT_EQ(m.First, 50);  // 36 * 4/3 + 2
    EXPECT_EQ(m.Left, 74);   // 54 * 4/3 + 2
    EXPECT_EQ(m.Right, 474); // 500 - 15 * 4/3 - 6
    const int grip = 4;
    // A marker dropped where it stood gives its indents back, within the
    // ruler's pixel.
    const int first = cfgman::FirstIndentAt(m.First - grip + 4, grip);
    EXPECT_EQ(first, 36);
    EXPECT_EQ(cfgman::LeftIndentAt(m.Left - grip + 4, grip, first), 18);
    EXPECT_EQ(cfgman::RightIndentAt(m.Right + grip - 4, grip, 500), 9);
    EXPECT_EQ(cfgman::RulerText().size(), 200u);
    EXPECT_EQ(cfgman::RulerText().substr(0, 4), "\t|\t|");
}

class MessageRowsTest : public CfgTest {};

TEST_F(MessageRowsTest, HandlingWritesTheRowsRealFieldsAndKeepsTheReceivedDate) {
    AppendRow("RECEIVED.DBF", {{"MESSAGE_ID", "<a@x>"}, {"LINK_ID", "A1"}, {"FILENAME", "a.eml"}});
    AppendRow("RECEIVED.DBF", {{"MESSAGE_ID", "<b@x>"}, {"LINK_ID", "A1"}, {"FILENAME", "b.eml"}});
    win::TDateTime received = 0, now = 0, time = 0;
    ASSERT_TRUE(win::TryEncodeDate(1998, 12, 8, received));
    ASSERT_TRUE(win::TryEncodeDate(2024, 2, 29, now));
    ASSERT_TRUE(win::TryEncodeTime(9, 5, 59, 0, time));
    {
        data::TTable t;
        t.SetDatabaseName(db_);
        t.SetTableName("RECEIVED.DBF");
        t.Open();
        t.Last();
        t.Edit();
        t.FieldByName("RECDATE").SetAsDateTime(received);
        t.Post();
    }
    cfgman::WriteHandling(db_, 2, {"ann@example.com", "Done", "b2.eml"}, now + time);
    const std::vector<Row> rows = Rows("RECEIVED.DBF");
    EXPECT_EQ(rows[0].at("FILENAME"), "a.eml");
    EXPECT_EQ(rows[1].at("FROM"), "ann@example.com");
    EXPECT_EQ(rows[1].at("SUBJECT"), "Done");
    EXPECT_EQ(rows[1].at("FILENAME"), "b2.eml");
    EXPECT_EQ(rows[1].at("CREATEAT"), "09:05");
    data::TTable t;
    t.SetDatabaseName(db_);
    t.SetTableName("RECEIVED.DBF");
    t.Open();
    t.Last();
    EXPECT_EQ(t.FieldByName("RECDATE").AsDateTime(), received);
    EXPECT_EQ(t.FieldByName("CREATEON").AsDateTime(), now);
    EXPECT_EQ(t.FieldByName("LASTDATE").AsDateTime(), now);
    t.Close();
    EXPECT_THROW(cfgman::WriteHandling(db_, 3, {"x", "y", "z"}, now), std::exception);
    EXPECT_EQ(Rows("RECEIVED.DBF").size(), 2u);
}

TEST_F(MessageRowsTest, AHistoryMessageIsFoundUnderItsOwnAccount) {
    const std::string messages = root_ + "messages/";
    Spit(messages + "A1/In/filed.eml", "x");
    Spit(messages + "A2/In/other.eml", "x");
    AppendRow("RECEIVED.DBF",
              {{"MESSAGE_ID", "<k@x>"}, {"LINK_ID", "A2"}, {"FILENAME", "other.eml"}});
    AppendRow("RECEIVED.DBF",
              {{"MESSAGE_ID", "<k@x>"}, {"LINK_ID", "A1"}, {"FILENAME", "filed.eml"}});
    EXPECT_EQ(cfgman::HistoryMessagePath(messages, db_, "A1", "<k@x>"),
              messages + "A1/In/filed.eml");
    // No row, or its file gone: the name the key gives, in the account's In folder.
    EXPECT_EQ(cfgman::HistoryMessagePath(messages, db_, "A1", "<n/o:w>"),
              messages + "A1/In/-n-o-w-.eml");
    std::filesystem::remove(messages + "A1/In/filed.eml");
    EXPECT_EQ(cfgman::HistoryMessagePath(messages, db_, "A1", "<k@x>"),
              messages + "A1/In/-k@x-.eml");

    // Action rows hold the key as the received rows do: long keys alike in
    // their first 40 characters, files alike in their first 30.
    const std::string pr = "<example-org/a-long-repository-name/pull/4711/";
    for (const char* n : {"c1001", "c1002"}) {
        const std::string id = pr + n + "@github.example>";
        const std::string file = quelta::MessageFileName(id);
        Spit(messages + "A1/In/" + file, "Message-ID: " + id + "\r\n\r\nbody\r\n");
        AppendRow(
            "RECEIVED.DBF",
            {{"MESSAGE_ID", data::StoredMessageKey(id)}, {"LINK_ID", "A1"}, {"FILENAME", file}});
    }
    for (const char* n : {"c1001", "c1002"}) {
        const std::string id = pr + n + "@github.example>";
        EXPECT_EQ(cfgman::HistoryMessagePath(messages, db_, "A1", data::StoredMessageKey(id)),
                  messages + "A1/In/" + quelta::MessageFileName(id));
    }
}

} // namespace
} // namespace cfgtest
