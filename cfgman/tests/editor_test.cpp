// The message editor windows offscreen: opened through the main window's
// commands, edited, saved and read back by the message model and by
// Python's email package, files dropped on them, printed to PDF, and a
// message that the real posta filed opened from the agent history.
#include "cfgman/core/settings.h"
#include "cfgman/dbgrid.h"
#include "cfgman/filedialog.h"
#include "cfgman/frminmessage.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmmessage.h"
#include "cfgman/frmstatus.h"
#include "cfgman/tests/cfgfixture.h"
#include "cfgman/tests/mainfixture.h"
#include "cfgman/tests/outside_readers.h"
#include "mail/msmsg.h"
#include "platform/win/datetime.h"
#include "platform/win/tempfile.h"
#include "widgets/explorerbutton.h"
#include "widgets/splitter.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPrinter>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>
#include <QUrl>
#include <regex>

namespace cfgtest {
namespace {

std::string Binary() {
    std::string bytes;
    for (int i = 0; i < 600; ++i)
        bytes += char(i * 7 % 256);
    return bytes;
}

// A message as an outbox holds one: recipients, own headers, two attachments.
void WriteOutboxMessage(const std::string& path) {
    TmsMessage m;
    m.Sender().SetName("Sales Desk");
    m.Sender().SetAddress("sales@example.com");
    m.Recipients().Add("ann@example.com", "Ann Smith");
    m.Recipients().Add("bob@example.com", "");
    m.CC().Add("carl@example.com", "Carl");
    m.Headers().Add("Message-ID: <offer.7@example.com>");
    m.Headers().Add("X-Order: 4711");
    m.SetSubject("Your offer");
    m.Body().Add("Dear Ann,");
    m.Body().Add("the figures are attached.");
    auto add = [&](const char* name, std::string data) {
        auto item = std::make_unique<TmsAttItem>();
        item->SetFileName(name);
        item->SetData(std::move(data));
        m.Attachments().AddItem(std::move(item));
    };
    add("figures.bin", Binary());
    add("notes.txt", "first line\r\nsecond line\r\n");
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    m.SaveToFile(path);
}

class EditorTest : public MainTest {
protected:
    void SetUp() override {
        MainTest::SetUp();
        cfgman::SetOpenDialogHook([this](const cfgman::TOpenDialog& d) {
            opened_.push_back(d);
            return openAnswer_;
        });
        cfgman::SetSaveDialogHook([this](const cfgman::TOpenDialog& d) {
            saved_.push_back(d);
            return saveAnswer_;
        });
    }
    void TearDown() override {
        MainTest::TearDown();
        cfgman::SetOpenDialogHook({});
        cfgman::SetOpenFilesDialogHook({});
        cfgman::SetPrintDialogHook({});
        cfgman::SetFontDialogHook({});
    }
    cfgman::TfrmMessage* OpenThroughMenu(const std::string& path) {
        openAnswer_ = QString::fromStdString(path);
        main_->E1->trigger();
        QCoreApplication::processEvents();
        auto editors = Editors();
        return editors.empty() ? nullptr : qobject_cast<cfgman::TfrmMessage*>(editors.back());
    }
    static void Gone(QWidget* w) {
        QPointer<QWidget> p(w);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(p.isNull());
    }

    std::vector<cfgman::TOpenDialog> opened_, saved_;
    QString openAnswer_;
};

TEST_F(EditorTest, AnOpenedMessageIsSavedAsWithItsRecipientsHeadersAndAttachments) {
    Start();
    const std::string in = root_ + "outbox/offer.eml";
    WriteOutboxMessage(in);
    cfgman::TfrmMessage* editor = OpenThroughMenu(in);
    ASSERT_NE(editor, nullptr);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0].Title, "Open rfc822 MIME Message File");
    EXPECT_EQ(opened_[0].DefaultExt, "eml");
    EXPECT_EQ(editor->Tag(), 10);
    EXPECT_EQ(editor->lblFilename, in);
    EXPECT_EQ(editor->windowTitle(), "Your offer");
    EXPECT_EQ(editor->lblSubject->text(), "Your offer");
    EXPECT_EQ(editor->BodyLines(), (QStringList{"Dear Ann,", "the figures are attached."}));
    EXPECT_FALSE(editor->Modified());

    // The attachments were written into the window's own folder, never the
    // program's.
    ASSERT_EQ(editor->lstVAttach->count(), 2);
    EXPECT_EQ(editor->lstVAttach->item(0)->text(), "figures.bin");
    EXPECT_FALSE(editor->lstVAttach->item(0)->icon().isNull());
    const std::string folder = editor->AttachmentFolder();
    EXPECT_EQ(folder.rfind(win::GetTempPath(), 0), 0u) << folder;
    EXPECT_TRUE(std::filesystem::is_empty(root_ + "prog"));
    const std::vector<std::string> paths = editor->AttachmentPaths();
    EXPECT_EQ(Slurp(paths[0]), Binary());
    EXPECT_TRUE(editor->lstVAttach->isVisible());
    EXPECT_EQ(editor->Splitter->BarPosition(), 70);
    EXPECT_FALSE(editor->SplitterLocked());

    // Edit, then Save As.
    editor->OpenSubjectEntry();
    EXPECT_TRUE(editor->edtSubject->isVisible());
    editor->edtSubject->selectAll();
    QTest::keyClicks(editor->edtSubject, "Your new offer");
    EXPECT_EQ(editor->windowTitle(), "Your new offer");
    editor->REBody->setFocus();
    EXPECT_FALSE(editor->edtSubject->isVisible());
    EXPECT_EQ(editor->lblSubject->text(), "Your new offer");
    editor->REBody->moveCursor(QTextCursor::End);
    QTest::keyClick(editor->REBody, Qt::Key_Return);
    QTest::keyClicks(editor->REBody, "Regards, Sales");
    EXPECT_TRUE(editor->Modified());
    const std::string out = root_ + "templates/offer copy.eml";
    saveAnswer_ = QString::fromStdString(out);
    editor->FileSaveAsItem->trigger();
    ASSERT_EQ(saved_.size(), 1u);
    EXPECT_EQ(saved_[0].Filters, QStringList{"E-Mail Files (*.eml)"});
    EXPECT_EQ(saved_[0].DefaultExt, "eml");
    EXPECT_EQ(saved_[0].InitialDir.toStdString(), root_ + "templates/");
    EXPECT_FALSE(editor->Modified());
    EXPECT_EQ(editor->windowTitle(), "offer copy.eml - Quelta Mail Management System");
    EXPECT_EQ(main_->lstVTemplates->topLevelItemCount(), 1); // the list was refreshed

    TmsMessage back;
    back.LoadFromFile(out);
    EXPECT_EQ(back.Subject(), "Your new offer");
    EXPECT_EQ(back.Sender().Address(), "sales@example.com");
    ASSERT_EQ(back.Recipients().Count(), 2);
    EXPECT_EQ(back.Recipients()[0].Name(), "Ann Smith");
    EXPECT_EQ(back.CC()[0].Address(), "carl@example.com");
    EXPECT_EQ(back.Headers().GetFieldValue("X-Order"), "4711");
    EXPECT_EQ(back.Headers().GetFieldValue("Message-ID"), "<offer.7@example.com>");
    ASSERT_EQ(back.Body().Count(), 3);
    EXPECT_EQ(back.Body()[2], "Regards, Sales");
    ASSERT_EQ(back.Attachments().Count(), 2);
    EXPECT_EQ(back.Attachments()[0].Data(), Binary());
    EXPECT_EQ(back.Attachments()[1].Data(), "first line\r\nsecond line\r\n");

    // Python's email package reads the same.
    Spit(root_ + "figures.bin", Binary());
    QString py;
    EXPECT_EQ(
        RunProgram("/usr/bin/python3",
                   {"-c",
                    "import sys, email\n"
                    "from email import policy\n"
                    "m = email.message_from_binary_file(open(sys.argv[1], 'rb'), "
                    "policy=policy.default)\n"
                    "print('to', [a.addr_spec for a in m['To'].addresses])\n"
                    "print('cc', [a.addr_spec for a in m['Cc'].addresses])\n"
                    "print('order', m['X-Order'])\n"
                    "print('subject', m['Subject'])\n"
                    "parts = [p for p in m.iter_attachments()]\n"
                    "print('names', [p.get_filename() for p in parts])\n"
                    "print('bytes', parts[0].get_payload(decode=True) == "
                    "open(sys.argv[2], 'rb').read())\n"
                    "print('body', m.get_body(('plain',)).get_content().splitlines()[-1])\n",
                    QString::fromStdString(out), QString::fromStdString(root_ + "figures.bin")},
                   &py),
        0)
        << py.toStdString();
    EXPECT_TRUE(py.contains("to ['ann@example.com', 'bob@example.com']")) << py.toStdString();
    EXPECT_TRUE(py.contains("cc ['carl@example.com']")) << py.toStdString();
    EXPECT_TRUE(py.contains("order 4711")) << py.toStdString();
    EXPECT_TRUE(py.contains("subject Your new offer")) << py.toStdString();
    EXPECT_TRUE(py.contains("names ['figures.bin', 'notes.txt']")) << py.toStdString();
    EXPECT_TRUE(py.contains("bytes True")) << py.toStdString();
    EXPECT_TRUE(py.contains("body Regards, Sales")) << py.toStdString();

    // Closing takes the attachment folder with it.
    editor->close();
    Gone(editor);
    EXPECT_FALSE(std::filesystem::exists(folder));
}

// Files dragged in from the desktop, as the window's drop handler gets them.
void Drop(QWidget* target, const QStringList& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& f : files)
        urls << QUrl::fromLocalFile(f);
    mime.setUrls(urls);
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    ASSERT_TRUE(drop.isAccepted());
}

TEST_F(EditorTest, ASubjectThatLooksLikeMarkupIsShownAsItIs) {
    Start();
    const std::string in = root_ + "outbox/markup.eml";
    Spit(in, "From: sales@example.com\r\nSubject: <b>Prices</b> for <i>you</i>\r\n\r\nbody\r\n");
    cfgman::TfrmMessage* editor = OpenThroughMenu(in);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(Shown(editor->lblSubject), "<b>Prices</b> for <i>you</i>");
}

TEST_F(EditorTest, ThreeDroppedFilesAreAttachedFromTheirOwnPaths) {
    Start();
    auto* editor = new cfgman::TfrmMessage(main_.get());
    editor->SetSenderFields("A1", "Sales Desk", "sales@example.com");
    editor->show();
    EXPECT_EQ(editor->windowTitle(), "New Message");
    EXPECT_EQ(editor->lblSubject->text(), "< Click here to enter the subject >");
    EXPECT_EQ(editor->lblSubject->toolTip(), "Click here to enter the subject");
    // Without attachments: body only, the bar locked at the bottom.
    EXPECT_FALSE(editor->lstVAttach->isVisible());
    EXPECT_EQ(editor->Splitter->BarPosition(), 100);
    EXPECT_TRUE(editor->SplitterLocked());

    // A path longer than 79 characters stays whole.
    const std::string deep = root_ + "a folder with a rather long name/and another one below it/" +
                             std::string(40, 'x') + "/price list.txt";
    const QStringList files{QString::fromStdString(root_ + "one.zip"), QString::fromStdString(deep),
                            QString::fromStdString(root_ + "three.wav")};
    Spit(files[0].toStdString(), "PK\3\4zip");
    Spit(deep, "prices\r\n");
    Spit(files[2].toStdString(), "RIFFwav");
    ASSERT_GT(deep.size(), 79u);
    Drop(editor->REBody->viewport(), files.mid(0, 2));
    Drop(editor, files.mid(2));
    ASSERT_EQ(editor->lstVAttach->count(), 3);
    EXPECT_EQ(editor->lstVAttach->item(1)->text(), "price list.txt");
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(editor->lstVAttach->item(i)->icon().isNull()) << i;
    EXPECT_EQ(editor->AttachmentPaths()[1], deep);
    EXPECT_TRUE(editor->REBody->toPlainText().isEmpty()); // no file names typed into the body
    EXPECT_TRUE(editor->Modified());
    EXPECT_EQ(editor->Splitter->BarPosition(), 70);
    EXPECT_FALSE(editor->SplitterLocked());

    // Saved: each attachment read from its own file.
    editor->SetSubject("Prices");
    editor->lblFilename = root_ + "templates/prices.eml";
    editor->FileSaveItem->trigger();
    EXPECT_TRUE(saved_.empty());
    TmsMessage back;
    back.LoadFromFile(root_ + "templates/prices.eml");
    EXPECT_EQ(back.Sender().Name(), "Sales Desk");
    ASSERT_EQ(back.Attachments().Count(), 3);
    EXPECT_EQ(back.Attachments()[0].Data(), "PK\3\4zip");
    EXPECT_EQ(back.Attachments()[1].Data(), "prices\r\n");
    EXPECT_EQ(back.Attachments()[1].FileName(), "price list.txt");
    EXPECT_EQ(back.Attachments()[2].Data(), "RIFFwav");

    // Removing every row locks the bar again.
    EXPECT_FALSE(editor->RemoveAttachment->isEnabled());
    editor->lstVAttach->selectAll();
    EXPECT_TRUE(editor->RemoveAttachment->isEnabled());
    editor->RemoveAttachment->trigger();
    EXPECT_EQ(editor->lstVAttach->count(), 0);
    EXPECT_EQ(editor->Splitter->BarPosition(), 100);
    EXPECT_TRUE(editor->SplitterLocked());
    EXPECT_FALSE(editor->lstVAttach->isVisible());

    // Rows by dialog show their full path.
    cfgman::SetOpenFilesDialogHook([&](const cfgman::TOpenDialog& d) {
        EXPECT_EQ(d.Title, "Select Attachment(s)");
        EXPECT_EQ(d.Filters.size(), 6);
        return QStringList{files[0]};
    });
    editor->NewAttachment->trigger();
    ASSERT_EQ(editor->lstVAttach->count(), 1);
    EXPECT_EQ(editor->lstVAttach->item(0)->text(), files[0]);
}

TEST_F(EditorTest, TheBodyPrintsToAPdfUnderTheFilesName) {
    Start();
    auto* editor = new cfgman::TfrmMessage(main_.get());
    editor->show();
    editor->SetCurrentFileName(root_ + "templates/quarter.eml");
    editor->SetBodyLines({"Quarterly totals", "\tall regions"});
    const std::string pdf = root_ + "print.pdf";
    QString job;
    cfgman::SetPrintDialogHook([&](QPrinter& printer) {
        job = printer.docName();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        return true;
    });
    editor->FilePrintItem->trigger();
    EXPECT_EQ(job.toStdString(), root_ + "templates/quarter.eml");
    QString text;
    ASSERT_EQ(RunProgram("pdftotext", {QString::fromStdString(pdf), "-"}, &text), 0)
        << text.toStdString();
    EXPECT_TRUE(text.contains("Quarterly totals")) << text.toStdString();
    EXPECT_TRUE(text.contains("all regions")) << text.toStdString();

    // A cancelled print dialog prints nothing.
    std::filesystem::remove(pdf);
    cfgman::SetPrintDialogHook([](QPrinter&) { return false; });
    editor->FilePrintItem->trigger();
    EXPECT_FALSE(std::filesystem::exists(pdf));
}

TEST_F(EditorTest, UnsavedChangesAreAskedForAndCancelKeepsTheWindow) {
    Start();
    auto* editor = new cfgman::TfrmMessage(main_.get());
    editor->show();
    QTest::keyClicks(editor->REBody, "Hello");
    answers_ = {win::IDCANCEL};
    EXPECT_FALSE(editor->close());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], "Save changes?");
    EXPECT_TRUE(editor->isVisible());

    // Yes without a file: Save As; cancelling it keeps the window and its text.
    answers_ = {win::IDYES};
    EXPECT_FALSE(editor->close());
    EXPECT_EQ(saved_.size(), 1u);
    EXPECT_TRUE(editor->isVisible());

    // A name chosen by Save As is not the one Save uses: Save asks again.
    saveAnswer_ = QString::fromStdString(root_ + "templates/hello.eml");
    editor->FileSaveAsItem->trigger();
    EXPECT_TRUE(std::filesystem::exists(root_ + "templates/hello.eml"));
    QTest::keyClicks(editor->REBody, " again");
    saveAnswer_.clear();
    editor->FileSaveItem->trigger();
    EXPECT_EQ(saved_.size(), 3u);

    // An existing file: anything but Yes leaves it alone.
    const std::string before = Slurp(root_ + "templates/hello.eml");
    saveAnswer_ = QString::fromStdString(root_ + "templates/hello.eml");
    answers_ = {win::IDNO};
    editor->FileSaveAsItem->trigger();
    EXPECT_EQ(boxes_.back(), "OK to overwrite " + root_ + "templates/hello.eml");
    EXPECT_EQ(Slurp(root_ + "templates/hello.eml"), before);
    EXPECT_TRUE(editor->Modified());

    // No: closes without saving, and the window goes.
    answers_ = {win::IDNO};
    EXPECT_TRUE(editor->close());
    EXPECT_EQ(editor->Tag(), 99);
    Gone(editor);
}

TEST_F(EditorTest, EachWindowSavesItsOwnMessage) {
    Start();
    WriteOutboxMessage(root_ + "outbox/a.eml");
    TmsMessage other;
    other.Sender().SetAddress("bob@example.com");
    other.Recipients().Add("zoe@example.com", "Zoe");
    other.SetSubject("Lunch");
    other.Body().Add("Noon?");
    other.SaveToFile(root_ + "outbox/b.eml");
    cfgman::TfrmMessage* a = OpenThroughMenu(root_ + "outbox/a.eml");
    cfgman::TfrmMessage* b = OpenThroughMenu(root_ + "outbox/b.eml");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(a, b);
    EXPECT_EQ(b->windowTitle(), "Lunch");
    QTest::keyClicks(a->REBody, "x");
    a->FileSaveItem->trigger();
    EXPECT_FALSE(a->Modified());
    TmsMessage back;
    back.LoadFromFile(root_ + "outbox/a.eml");
    EXPECT_EQ(back.Subject(), "Your offer");
    ASSERT_FALSE(back.Body().Lines().empty());
    EXPECT_EQ(back.Body().Lines()[0].find('x'), 0u) << back.Body().Lines()[0];
    EXPECT_EQ(back.Recipients()[0].Address(), "ann@example.com");
    EXPECT_EQ(back.Attachments().Count(), 2);
    back.LoadFromFile(root_ + "outbox/b.eml");
    EXPECT_EQ(back.Subject(), "Lunch");
    EXPECT_EQ(back.Recipients()[0].Address(), "zoe@example.com");
}

TEST_F(EditorTest, AFileThatCannotBeReadLeavesAnEmptyWindowBoundToNoFile) {
    Start();
    cfgman::TfrmMessage* editor = OpenThroughMenu(root_ + "outbox/missing.eml");
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(main_->ErrorCount(), 1);
    EXPECT_TRUE(status_->lblLastError->text().contains("missing.eml"))
        << status_->lblLastError->text().toStdString();
    EXPECT_TRUE(editor->lblFilename.empty());
    EXPECT_EQ(editor->windowTitle(), "New Message");
    QTest::keyClicks(editor->REBody, "text");
    editor->FileSaveItem->trigger();
    EXPECT_EQ(saved_.size(), 1u); // asks where to
    EXPECT_FALSE(std::filesystem::exists(root_ + "outbox/missing.eml"));
}

TEST_F(EditorTest, TheWindowKeepsItsPlaceInTheSettings) {
    Ini().WriteInteger("MCWindowPos", "Left", 40);
    Ini().WriteInteger("MCWindowPos", "Top", 50);
    Ini().WriteInteger("MCWindowPos", "Height", 300);
    Ini().WriteInteger("MCWindowPos", "Width", 600);
    Start();
    auto* editor = new cfgman::TfrmMessage(main_.get());
    EXPECT_EQ(editor->pos(), QPoint(40, 50));
    EXPECT_EQ(editor->size(), QSize(600, 300));
    editor->show();
    editor->resize(640, 320);
    editor->close();
    Gone(editor);
    EXPECT_EQ(Ini().ReadInteger("MCWindowPos", "Width", 0), 640);
    EXPECT_EQ(Ini().ReadInteger("MCWindowPos", "Height", 0), 320);
    // The received-message window keeps no place.
    auto* received = new cfgman::TfrmInMessage(main_.get());
    received->resize(700, 400);
    delete received;
    EXPECT_EQ(Ini().ReadInteger("MCWindowPos", "Width", 0), 640);
}

TEST_F(EditorTest, AReceivedMessageIsRepliedToForwardedAndHandled) {
    AppendRow("RECEIVED.DBF", {{"MESSAGE_ID", "<q@x>"}, {"LINK_ID", "A1"}, {"FILENAME", "q.eml"}});
    Start();
    TmsMessage m;
    m.Sender().SetAddress("ann@example.com");
    m.SetSubject("Question");
    m.Body().Add("Is it in stock?");
    std::filesystem::create_directories(root_ + "messages/A1/In");
    m.SaveToFile(root_ + "messages/A1/In/q.eml");
    auto* in = new cfgman::TfrmInMessage(main_.get());
    in->SetSenderFields("A1", "Sales Desk", "sales@example.com");
    in->SetReceivedRow(1, "q.eml");
    in->OpenMessageFile(root_ + "messages/A1/In/q.eml");
    in->show();
    EXPECT_EQ(in->windowTitle(), "Question");
    EXPECT_EQ(in->edtRecipients->text(), "ann@example.com");
    EXPECT_EQ(in->lblCC->text(), "< Click here to enter the carbon copy recipients >");
    EXPECT_EQ(in->lblRecipients->toolTip(),
              "Click here to enter the recipients names, seperated by semicolons");
    EXPECT_EQ(in->btnHandling->Caption(), "Handling");

    cfgman::TfrmMessage* reply = in->Reply();
    EXPECT_EQ(reply->Subject(), "Re: Question");
    EXPECT_EQ(reply->lblSubject->text(), "Re: Question");
    EXPECT_TRUE(reply->REBody->toPlainText().isEmpty());
    EXPECT_EQ(reply->FromAddress(), "sales@example.com");
    cfgman::TfrmMessage* forward = in->Forward();
    EXPECT_EQ(forward->Subject(), "Forward from Sales Desk: Question");
    EXPECT_EQ(forward->BodyLines(), QStringList{"Is it in stock?"});

    // The font dialog starts with the selection's font and sets it.
    in->REBody->selectAll();
    cfgman::SetFontDialogHook([](QFont& font) {
        font.setBold(true);
        return true;
    });
    in->EditSelectAll->trigger();
    EXPECT_TRUE(in->REBody->textCursor().charFormat().font().bold());

    // Tab runs recipients, carbon copies, subject, body.
    in->OpenEntry(in->edtRecipients);
    QTest::keyClick(in->edtRecipients, Qt::Key_Tab);
    EXPECT_TRUE(in->edtCC->isVisible());
    EXPECT_FALSE(in->edtRecipients->isVisible());
    in->edtRecipients->setText("ann@example.com;bob@example.com");

    std::filesystem::remove_all(root_ + "messages/A1/In");
    in->edtSubject->setText("Question (answered)");
    in->SetModified(false);
    in->btnHandling->Click();
    EXPECT_TRUE(std::filesystem::is_directory(root_ + "messages/A1/In"));
    const Row row = Rows("RECEIVED.DBF").at(0);
    EXPECT_EQ(row.at("FROM"), "ann@example.com;bob@example.com");
    EXPECT_EQ(row.at("SUBJECT"), "Question (answered)");
    EXPECT_EQ(row.at("FILENAME"), "q.eml");
    EXPECT_TRUE(std::regex_match(row.at("CREATEAT"), std::regex("[0-2][0-9]:[0-5][0-9]")))
        << row.at("CREATEAT");
    Gone(in);
}

// The real posta files a pending message and writes its history; the
// history's "View Message..." opens the filed file.
TEST_F(EditorTest, AMessageFiledByPostaOpensFromTheAgentHistory) {
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    Attach("T1", "A1", "stamp");
    Spit(root_ + "agents/stamp.agent", "[MAIN]\r\nAgentType=MESSAGE\r\nTriggerCount=1\r\n"
                                       "ActionCount=1\r\n[HEADER]\r\nEntry1=Subject\r\n"
                                       "[CONDITION]\r\nEntry1=contains\r\n[VALUE]\r\n"
                                       "Entry1=invoice\r\n[ACTIONPARAM1]\r\n"
                                       "Entry1=DELAY THE AGENT\r\n[ACTIONPARAM2]\r\nEntry1=0\r\n"
                                       "[ACTIONPARAM3]\r\nEntry1=\r\n");
    Spit(root_ + "messages/A1/Pending/m.eml",
         "From: Ann <ann@example.com>\r\nTo: orders@example.com\r\n"
         "Message-ID: <inv.42@example.com>\r\nSubject: Your invoice 42\r\n"
         "Date: Tue, 8 Dec 1998 10:20:30 +0100\r\n\r\nTotal: 42\r\n");
    // posta runs scripts through the automation library, registered here.
    ASSERT_EQ(QProcess::execute(QUELTA_BIN_DIR "/regsvr", {"/s", QUELTA_BIN_DIR "/libQuelta.so"}),
              0);
    const std::string prog = root_ + "prog/";
    std::filesystem::copy_file(QUELTA_BIN_DIR "/posta", prog + "posta");
    std::filesystem::create_symlink(QUELTA_BIN_DIR "/libwsock32.so", prog + "libwsock32.so");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QUELTA_WINDIR", QString::fromStdString(root_ + "win"));
    QString out;
    ASSERT_EQ(RunProgram(QString::fromStdString(prog + "posta"), {"/SINGLEPASS"}, &out, env), 0)
        << out.toStdString() << Slurp(prog + "agentproc.log");
    ASSERT_TRUE(std::filesystem::exists(root_ + "messages/A1/In/m.eml"))
        << Slurp(prog + "agentproc.log");

    Start();
    QTreeWidgetItem* agent = main_->treeMain->topLevelItem(0)->child(0)->child(0)->child(0);
    ASSERT_NE(agent, nullptr);
    main_->treeMain->setCurrentItem(agent);
    QCoreApplication::processEvents();
    ASSERT_EQ(main_->historyModel->rowCount(), 1);
    EXPECT_EQ(main_->historyModel->index(0, 0).data().toString(), "Agent Delayed for 0 seconds");
    EXPECT_TRUE(main_->V3->isEnabled());
    main_->GridAgentHistory->setCurrentIndex(main_->historyModel->index(0, 0));
    main_->V3->trigger();
    ASSERT_EQ(Editors().size(), 1u) << status_->lblLastError->text().toStdString();
    auto* editor = qobject_cast<cfgman::TfrmMessage*>(Editors()[0]);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(main_->ErrorCount(), 0) << status_->lblLastError->text().toStdString();
    EXPECT_EQ(editor->lblFilename, root_ + "messages/A1/In/m.eml");
    EXPECT_EQ(editor->windowTitle(), "Your invoice 42");
    EXPECT_EQ(editor->BodyLines(), QStringList{"Total: 42"});
}

} // namespace
} // namespace cfgtest
