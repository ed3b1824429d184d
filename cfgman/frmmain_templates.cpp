// The Auto-Reply Templates page: new, modify, delete and rename of the
// template files, and the preview's merge of a template's codes.
#include "cfgman/core/settings.h"
#include "cfgman/core/templates.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmmessage.h"
#include "cfgman/qtext.h"
#include "platform/win/hooks.h"

#include <QAction>
#include <QApplication>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTreeWidget>

namespace cfgman {

namespace {

constexpr int kNameRole = Qt::UserRole;

// The selected row's template name; "" without one.
std::string SelectedTemplate(const QTreeWidget* list) {
    const QTreeWidgetItem* item = list->currentItem();
    if (!item || !item->isSelected())
        return {};
    return S(item->data(0, kNameRole).toString());
}

} // namespace

void TfrmMain::BuildTemplatesPage() {
    TemplatesBar.New->setText(QStringLiteral("     New     "));
    lstVTemplates->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(TemplatesBar.New, &QAction::triggered, this,
            [this] { Command([this] { MailMessageTemplate1Click(); }); });
    connect(TemplatesBar.Modify, &QAction::triggered, this,
            [this] { Command([this] { btnARModifyClick(); }); });
    connect(TemplatesBar.Delete, &QAction::triggered, this,
            [this] { Command([this] { btnARDeleteClick(); }); });
    connect(lstVTemplates, &QTreeWidget::itemDoubleClicked, this,
            [this] { Command([this] { btnARModifyClick(); }); });
    connect(lstVTemplates, &QTreeWidget::itemSelectionChanged, this,
            [this] { lstVTemplatesChange(); });
    connect(lstVTemplates, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
        Command([this, item] { lstVTemplatesEdited(item); });
    });
}

void TfrmMain::lstVTemplatesChange() {
    if (pageControlMain->currentWidget() != TStemplates)
        return;
    const bool on = !SelectedTemplate(lstVTemplates).empty();
    for (QAction* a :
         {TemplatesBar.Modify, TemplatesBar.Delete, mnuMainDelete, mnuMainProperties, mnuRename})
        EnableCommand(a, on);
}

TfrmMessage* TfrmMain::NewMessageEditor() {
    auto* editor = new TfrmMessage(this);
    data::TTable& account = Tables.TableNodes2;
    if (account.Active() && !account.IsEmpty())
        editor->SetSenderFields(account.FieldByName("UNIQUE_ID").AsString(),
                                account.FieldByName("NODE").AsString(),
                                account.FieldByName("ADDRESS").AsString());
    // Asked for from a modal dialog (an action's "Create New"), the editor
    // would show behind it and take no input: it is modal itself then.
    if (QApplication::activeModalWidget())
        editor->setWindowModality(Qt::ApplicationModal);
    editor->show();
    editor->OpenSubjectEntry();
    return editor;
}

void TfrmMain::MailMessageTemplate1Click() {
    pageControlMain->setCurrentWidget(TStemplates);
    NewMessageEditor();
}

void TfrmMain::btnARModifyClick() {
    const std::string name = SelectedTemplate(lstVTemplates);
    if (name.empty())
        return;
    const std::string path = TemplatePath(Folders().TemplatesPath(), name);
    // The template's own sender stays: Save writes what it loaded.
    auto* editor = new TfrmMessage(this);
    try {
        editor->OpenMessageFile(path);
    } catch (...) {
        delete editor;
        throw;
    }
    editor->show();
}

void TfrmMain::btnARDeleteClick() {
    const std::string name = SelectedTemplate(lstVTemplates);
    if (name.empty())
        return;
    if (win::MessageBox("Are you sure you want to delete this template?", " Delete Confirmation",
                        win::MB_YESNO | win::MB_ICONQUESTION) != win::IDYES)
        return;
    try {
        DeleteTemplate(Folders().TemplatesPath(), name);
    } catch (const std::exception& e) {
        SendtoLog(e.what(), 0);
        win::MessageBox("Unable to delete template", "Quelta Mail Management System",
                        win::MB_OK | win::MB_ICONERROR);
    }
    RefreshTemplates();
}

void TfrmMain::lstVTemplatesEdited(QTreeWidgetItem* item) {
    const std::string from = S(item->data(0, kNameRole).toString());
    const std::string to = S(item->text(0));
    if (from.empty() || from == to)
        return;
    try {
        RenameTemplate(Folders().TemplatesPath(), from, to);
    } catch (...) {
        const QSignalBlocker quiet(lstVTemplates);
        item->setText(0, Q(from));
        throw;
    }
    SendtoLog("Template renamed from " + from + " to " + to, 0);
    RefreshTemplates();
}

std::string TfrmMain::MergeTemplate(TmsMessage& message, const TmsMessage& example) {
    return quelta::ProccessMergeCodes(
        message, example, PreviewMergeContext([this](const std::string& s) { SendtoLog(s, 0); }));
}

} // namespace cfgman
