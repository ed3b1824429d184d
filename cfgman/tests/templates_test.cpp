// The Auto-Reply Templates page and the merge-code inserter offscreen: the
// list and its commands, a template made from the File menu with a merge
// code inserted at the caret, and the hidden merge preview.
#include "cfgman/frmaction.h"
#include "cfgman/frmmessage.h"
#include "cfgman/frmmessagepre.h"
#include "cfgman/frmupdatefield.h"
#include "cfgman/tests/mainfixture.h"
#include "mail/msmsg.h"
#include "widgets/richlabel.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>

namespace cfgtest {
namespace {

void WriteTemplate(const std::string& path, const std::string& subject) {
    TmsMessage m;
    m.Sender().SetAddress("desk@example.com");
    m.SetSubject(subject);
    m.Body().Add("Dear <<REPLYHEADER~FROMNAME>>,");
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    m.SaveToFile(path);
}

class TemplatesTest : public MainTest {
protected:
    std::string Templates() { return root_ + "templates/"; }
    QTreeWidget* List() { return main_->lstVTemplates; }
    void ShowPage() {
        main_->pageControlMain->setCurrentWidget(main_->TStemplates);
        QCoreApplication::processEvents();
    }
};

TEST_F(TemplatesTest, TheListOffersItsCommandsExactlyWhileATemplateIsSelected) {
    std::filesystem::create_directories(Templates());
    Spit(Templates() + "notes.txt", "");
    Start();
    ShowPage();
    EXPECT_EQ(List()->topLevelItemCount(), 0);
    EXPECT_EQ(main_->TemplatesBar.New->text(), "     New     ");
    for (QAction* a : {main_->TemplatesBar.Modify, main_->TemplatesBar.Delete, main_->mnuMainDelete,
                       main_->mnuMainProperties})
        EXPECT_FALSE(a->isEnabled());

    WriteTemplate(Templates() + "Welcome.eml", "Thanks for writing");
    WriteTemplate(Templates() + "Away.eml", "Out of office");
    main_->Refresh1->trigger();
    ASSERT_EQ(List()->topLevelItemCount(), 2);
    EXPECT_EQ(List()->topLevelItem(0)->text(0), "Away");
    EXPECT_EQ(List()->topLevelItem(1)->text(0), "Welcome");
    EXPECT_FALSE(main_->TemplatesBar.Modify->isEnabled());
    SelectRow(List(), 1);
    for (QAction* a : {main_->TemplatesBar.Modify, main_->TemplatesBar.Delete, main_->mnuMainDelete,
                       main_->mnuMainProperties, main_->mnuRename})
        EXPECT_TRUE(a->isEnabled());

    // Modify, the main menu's Properties and a double-click open the file.
    main_->TemplatesBar.Modify->trigger();
    auto* editor = LastEditor<cfgman::TfrmMessage>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->lblFilename, Templates() + "Welcome.eml");
    EXPECT_EQ(editor->Tag(), 10);
    EXPECT_EQ(editor->Subject(), "Thanks for writing");
    main_->mnuMainProperties->trigger();
    emit List()->itemDoubleClicked(List()->topLevelItem(1), 0);
    EXPECT_EQ(Editors().size(), 3u);

    // Leaving the page and coming back keeps the commands of the selection.
    main_->pageControlMain->setCurrentWidget(main_->TSaccounts);
    EXPECT_FALSE(main_->mnuMainDelete->isEnabled());
    ShowPage();
    EXPECT_TRUE(main_->mnuMainDelete->isEnabled());
}

TEST_F(TemplatesTest, DeleteAsksAndAFileThatStaysIsReported) {
    WriteTemplate(Templates() + "Welcome.eml", "w");
    WriteTemplate(Templates() + "Stuck.eml", "s");
    Start();
    ShowPage();
    SelectRow(List(), 1);
    answers_ = {win::IDNO};
    main_->mnuMainDelete->trigger();
    EXPECT_EQ(boxes_.back(), "Are you sure you want to delete this template?");
    EXPECT_EQ(captions_.back(), " Delete Confirmation");
    EXPECT_TRUE(std::filesystem::exists(Templates() + "Welcome.eml"));
    answers_ = {win::IDYES};
    main_->TemplatesBar.Delete->trigger();
    EXPECT_FALSE(std::filesystem::exists(Templates() + "Welcome.eml"));
    ASSERT_EQ(List()->topLevelItemCount(), 1);
    EXPECT_FALSE(main_->TemplatesBar.Delete->isEnabled());

    // A template that cannot be deleted: said, and still listed.
    SelectRow(List(), 0);
    std::filesystem::remove(Templates() + "Stuck.eml");
    std::filesystem::create_directory(Templates() + "Stuck.eml");
    Spit(Templates() + "Stuck.eml/inside", "");
    answers_ = {win::IDYES};
    boxes_.clear();
    main_->TemplatesBar.Delete->trigger();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1], "Unable to delete template");
    EXPECT_TRUE(std::filesystem::exists(Templates() + "Stuck.eml/inside"));
}

TEST_F(TemplatesTest, RenamingATemplateRenamesItsFileButNeverOverAnother) {
    WriteTemplate(Templates() + "Welcome.eml", "w");
    WriteTemplate(Templates() + "Thanks.eml", "t");
    const std::string thanks = Slurp(Templates() + "Thanks.eml");
    Start();
    ShowPage();
    // F2, a name, Enter.
    auto rename = [&](int row, const char* name) {
        SelectRow(List(), row);
        main_->mnuRename->trigger();
        QCoreApplication::processEvents();
        auto* edit = List()->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        edit->setText(QString::fromLatin1(name));
        QTest::keyClick(edit, Qt::Key_Return);
        QCoreApplication::processEvents();
    };
    rename(1, "Hello");
    EXPECT_TRUE(std::filesystem::exists(Templates() + "Hello.eml"));
    EXPECT_FALSE(std::filesystem::exists(Templates() + "Welcome.eml"));
    ASSERT_EQ(List()->topLevelItemCount(), 2);
    EXPECT_EQ(List()->topLevelItem(0)->text(0), "Hello");

    rename(0, "Thanks");
    EXPECT_EQ(Slurp(Templates() + "Thanks.eml"), thanks);
    EXPECT_TRUE(std::filesystem::exists(Templates() + "Hello.eml"));
    EXPECT_EQ(List()->topLevelItem(0)->text(0), "Hello");
    EXPECT_NE(LastLine().find("Unable to rename template"), std::string::npos) << LastLine();
    rename(0, "a/b");
    EXPECT_TRUE(std::filesystem::exists(Templates() + "Hello.eml"));
}

TEST_F(TemplatesTest, ANewTemplateTakesTheAccountAsSenderAndAMergeCodeAtTheCaret) {
    AddGroup("G1", "Sales");
    AppendRow("NODES.DBF", {{"UNIQUE_ID", "A1"},
                            {"LINK_ID", "G1"},
                            {"NODE", "Sales Desk"},
                            {"ADDRESS", "sales@example.com"}});
    Start();
    Select(Node({0, 0}));
    main_->NewTemplate1->trigger();
    EXPECT_EQ(main_->pageControlMain->currentWidget(), main_->TStemplates);
    auto* editor = LastEditor<cfgman::TfrmMessage>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->windowTitle(), "New Message");
    EXPECT_TRUE(editor->edtSubject->isVisible());
    EXPECT_EQ(editor->FromAddress(), "sales@example.com");
    QTest::keyClicks(editor->edtSubject, "Re: your order");
    editor->REBody->setFocus();
    QTest::keyClicks(editor->REBody, "Hello from , thanks.");
    QTextCursor caret = editor->REBody->textCursor();
    caret.setPosition(11);
    editor->REBody->setTextCursor(caret);

    QApplication::clipboard()->setText("kept text");
    WhenModal([](QWidget* w) {
        auto* d = qobject_cast<cfgman::TfrmUpdateField*>(w);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->windowTitle(), "Insert Merge Code");
        EXPECT_EQ(d->lstCategories->currentRow(), 0);
        d->lstCategories->setCurrentRow(1);
        QTreeWidget* uses = d->Panels[1].Uses;
        ASSERT_EQ(uses->topLevelItemCount(), 2);
        uses->setCurrentItem(uses->topLevelItem(0));
        emit uses->itemClicked(uses->topLevelItem(0), 0);
        EXPECT_EQ(d->edtValue->text(), "CURRENTNODE");
        d->btnOK->click();
    });
    editor->MergeCode->trigger();
    EXPECT_EQ(editor->BodyLines(), QStringList{"Hello from <<SYSTEM~CURRENTNODE>>, thanks."});
    EXPECT_EQ(QApplication::clipboard()->text(), "kept text");

    // Cancel changes nothing.
    WhenModal([](QWidget* w) {
        auto* d = qobject_cast<cfgman::TfrmUpdateField*>(w);
        ASSERT_NE(d, nullptr);
        d->edtValue->setText("date");
        d->btnCancel->click();
    });
    editor->MergeCode->trigger();
    EXPECT_EQ(editor->BodyLines(), QStringList{"Hello from <<SYSTEM~CURRENTNODE>>, thanks."});

    saveAnswer_ = QString::fromStdString(Templates() + "Order reply.eml");
    editor->FileSaveAsItem->trigger();
    ASSERT_EQ(main_->lstVTemplates->topLevelItemCount(), 1);
    EXPECT_EQ(main_->lstVTemplates->topLevelItem(0)->text(0), "Order reply");
    TmsMessage saved;
    saved.LoadFromFile(Templates() + "Order reply.eml");
    EXPECT_EQ(saved.Subject(), "Re: your order");
    EXPECT_EQ(saved.Sender().Address(), "sales@example.com");
    EXPECT_EQ(saved.Sender().Name(), "Sales Desk");
    EXPECT_EQ(saved.Body().Lines(),
              std::vector<std::string>{"Hello from <<SYSTEM~CURRENTNODE>>, thanks."});
}

TEST_F(TemplatesTest, CreateNewInTheActionDialogOpensAnEditorThatTakesTheInput) {
    Start();
    cfgman::TfrmAction action(main_.get());
    QWidget* top = nullptr;
    cfgman::TfrmMessage* editor = nullptr;
    WhenModal([&](QWidget* modal) {
        EXPECT_EQ(modal, &action);
        ASSERT_TRUE(action.btnNewTemplate->isEnabled());
        action.btnNewTemplate->click();
        editor = LastEditor<cfgman::TfrmMessage>();
        top = QApplication::activeModalWidget();
        // The dialog waits for the editor.
        QTimer::singleShot(0, [&] {
            if (editor)
                editor->close();
            action.reject();
        });
    });
    action.exec();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(top, editor);
    EXPECT_EQ(main_->pageControlMain->currentWidget(), main_->TStemplates);
}

TEST_F(TemplatesTest, TheInserterShowsOnePanelPerCategoryAndBuildsItsCode) {
    Start();
    cfgman::TfrmUpdateField d(main_.get());
    d.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(d.lstCategories->count(), 3);
    EXPECT_EQ(d.lstCategories->item(0)->text(), "Reply to Header");
    EXPECT_EQ(d.lstCategories->item(1)->text(), "System");
    EXPECT_EQ(d.lstCategories->item(2)->text(), "Expression");
    EXPECT_EQ(d.lblHowTo->text(), "How to:");
    EXPECT_TRUE(d.Panels[0].Panel->isVisible());
    EXPECT_FALSE(d.Panels[1].Panel->isVisible());
    EXPECT_TRUE(d.Panels[0].Text->text().startsWith(
        "Use the Reply to commands to assist you in personalizing a message that wil be an"));
    EXPECT_TRUE(d.Panels[1].Text->text().startsWith("Use the system commands  to assist you"));
    EXPECT_TRUE(d.Panels[2].Text->text().endsWith("See help for more detail. "));
    EXPECT_NE(d.Panels[1].Example->toPlainText().indexOf("<<SYSTEM~CURRENTNODEADDRESS>>"), -1);
    EXPECT_NE(d.Panels[2].Example->toPlainText().indexOf("<<EXPRESSION~DATE() + 5>>"), -1);
    EXPECT_EQ(d.Panels[0].Uses->headerItem()->text(0), "Possible Uses");
    EXPECT_EQ(d.Panels[0].Uses->columnWidth(0), 289);
    QStringList uses;
    for (int i = 0; i < d.Panels[2].Uses->topLevelItemCount(); ++i)
        uses << d.Panels[2].Uses->topLevelItem(i)->text(0);
    EXPECT_EQ(uses, (QStringList{"date()", "str(1+3)", "CurrentMessage.Subject"}));

    // The first category with nothing typed, then typed in lower case.
    EXPECT_EQ(d.Code(), "<<REPLYHEADER~>>");
    QTest::keyClicks(d.edtValue, "fromname");
    EXPECT_EQ(d.Code(), "<<REPLYHEADER~FROMNAME>>");
    d.SelectCategory(2);
    EXPECT_FALSE(d.Panels[0].Panel->isVisible());
    EXPECT_TRUE(d.Panels[2].Panel->isVisible());
    // A key released in the list takes its entry; a double-click is OK.
    QTreeWidget* list = d.Panels[2].Uses;
    list->setFocus();
    list->setCurrentItem(list->topLevelItem(0));
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(d.edtValue->text(), "str(1+3)");
    EXPECT_EQ(d.Code(), "<<EXPRESSION~STR(1+3)>>");
    emit list->itemDoubleClicked(list->currentItem(), 0);
    EXPECT_EQ(d.result(), QDialog::Accepted);
}

TEST_F(TemplatesTest, TheInserterShowsEveryCategoryWholeInOneColumn) {
    Start();
    cfgman::TfrmUpdateField d(main_.get());
    // A desktop whose font is larger than this test's own.
    QFont large = d.font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    d.setFont(large);
    d.show();
    QCoreApplication::processEvents();
    QListWidget* list = d.lstCategories;
    const QRect shown = list->viewport()->rect();
    QRect above;
    for (int i = 0; i < list->count(); ++i) {
        SCOPED_TRACE(list->item(i)->text().toStdString());
        const QRect cell = list->visualItemRect(list->item(i));
        EXPECT_TRUE(shown.contains(cell))
            << cell.x() << "," << cell.y() << " " << cell.width() << "x" << cell.height();
        EXPECT_LE(list->fontMetrics().horizontalAdvance(list->item(i)->text()), cell.width());
        if (i > 0) {
            EXPECT_EQ(cell.left(), above.left());
            EXPECT_GE(cell.top(), above.bottom());
        }
        above = cell;
    }
    EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(list->verticalScrollBar()->isVisible());
}

TEST_F(TemplatesTest, TheHiddenMergePreviewOpensTheFilledCopyAndKeepsTheTemplate) {
    Start();
    auto* editor = new cfgman::TfrmMessage(main_.get());
    editor->SetSenderFields("A1", "Sales Desk", "sales@example.com");
    editor->show();
    editor->SetSubject("Reply");
    editor->SetBodyLines({"Version <<SYSTEM~VERSION>>", "For <<SYSTEM~CURRENTNODE>>"});
    EXPECT_FALSE(editor->MergePreview->isVisible());

    WhenModal([](QWidget* w) {
        auto* d = qobject_cast<cfgman::TfrmMessagePre*>(w);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->windowTitle(), "Merge Previewer");
        d->btnCancel->click();
    });
    editor->MergePreview->trigger();
    EXPECT_TRUE(started_.empty());

    WhenModal([](QWidget* w) { qobject_cast<cfgman::TfrmMessagePre*>(w)->btnOK->click(); });
    editor->MergePreview->trigger();
    const std::string temp = root_ + "prog/Temp.eml";
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_EQ(started_[0], (std::vector<std::string>{"xdg-open", temp}));
    TmsMessage preview;
    preview.LoadFromFile(temp);
    EXPECT_EQ(
        preview.Body().Lines(),
        (std::vector<std::string>{"Version Dovira Quelta Mail Management System Version: 1.018",
                                  "For <no value provided>"}));
    EXPECT_EQ(editor->BodyLines(),
              (QStringList{"Version <<SYSTEM~VERSION>>", "For <<SYSTEM~CURRENTNODE>>"}));
    EXPECT_NE(LastLine().find("the newline reads  "), std::string::npos) << LastLine();
}

} // namespace
} // namespace cfgtest
