#pragma once
// The configuration manager's main window: the pages of accounts, agents
// and templates, the menu bar, the status bar, the mail components and the
// fourteen table objects. Commands run through Command(), which hands a
// failure to AppException, the program's one error handler.
#include "cfgman/core/accounttree.h"
#include "cfgman/core/cfgtables.h"
#include "cfgman/core/messagelists.h"
#include "mail/agras.h"
#include "mail/msmsg.h"
#include "mail/mspop3.h"
#include "mail/mssmtp.h"

#include <QMainWindow>
#include <functional>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QTabWidget;
class QTableView;
class QToolBar;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace cfgman {

class TfrmCustomSend;
class TfrmRem;
class TfrmStatus;
class TfrmMessage;
class TDataSetModel;
class TSplashForm;

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // programFolder holds the sounds and the outside programs; it ends with a separator.
    explicit TfrmMain(const std::string& programFolder, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // ---- life cycle ----
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();
    void MinimizeApp();
    void PlayEventSound(const std::string& fileName);
    void About1Click();
    // An identifier no account row and no sent row has yet.
    [[nodiscard]] std::string MakeUniqueId();

    // ---- status and errors ----
    void SendtoLog(const std::string& text, int = 0);
    void AppException(const std::string& message);
    void agRas1StatusChange(const std::string& status);
    void agRas1Disconnected();
    void L1Click();
    // Runs a command; a failure goes to AppException and the program goes on.
    void Command(const std::function<void()>& body);

    // ---- account tree ----
    void populateGroups();
    void treeMainChange(QTreeWidgetItem* node);
    bool treeMainEditing(QTreeWidgetItem* node);
    void treeMainEdited(QTreeWidgetItem* node, const std::string& newText);
    void treeMainExpanding(QTreeWidgetItem* node);
    void treeMainCollapsing(QTreeWidgetItem* node);
    void Position1Click();
    void Delete1Click();
    void PopupMenuTreePopup();
    [[nodiscard]] std::vector<TGroupChoice> PopulateWizardGroups();
    void ExpandPanel(QWidget* panel);
    void RetractPanel(QWidget* panel);
    void FormResize();

    // ---- message editors ----
    void E1Click();
    void V3Click();
    // A new editor window on a message file, shown; when the file cannot be
    // read the window shows empty and the failure is raised.
    TfrmMessage* OpenMessageEditor(const std::string& path);
    // Closes every editor window, each asking about unsaved changes; false
    // when one of them stays open.
    bool CloseMessageEditors();

    // ---- page commands ----
    void pageControlMainChange();
    void mnuMainDeleteClick();
    void mnuRenameClick();
    void Refresh1Click();
    void Exit1Click();
    void E3Click();
    void DisableAutoClick();
    void B1Click();
    void mnuPropertiesClick();
    void mnuMainPropertiesClick();
    void N15Click();
    // The server preview of the account the second accounts view stands on.
    void Checkwhatsontheserver1Click();
    void msRemotePOP1NextInfoUpdated(int index);
    void ReIndex1Click();
    void Pack1Click();
    void Zap1Click();
    void SetPreferences1Click();
    void e2Click();
    void E4Click();
    void A2Click();
    void M1Click();
    void Contents1Click();
    void O3Click();
    void V1Click();
    void R1Click();
    void N16Click();
    void O1Click();
    void Find1Click();
    void MailMerge1Click();
    // qide from the program folder, with the script as its one argument.
    void StartScriptEditor(const std::string& file);
    void RefreshAgents();
    void RefreshTemplates();

    // ---- agents ----
    void A1Click();
    void btnAgentsNewClick();
    void btnAgentsModifyClick();
    void lstVAgentsChange();
    // The agent's name edited in place; the caption changes only when the
    // file could be renamed.
    void lstVAgentsEdited(QTreeWidgetItem* item, const std::string& newText);
    void btnAgentsDeleteClick();
    void mnuAttachClick();
    void mnuDetachClick();
    // Attach with the account given by its key (the properties' button).
    void AttachToAccount(const std::string& accountKey);
    // Detach the attachment chosen: asks, then deletes that row only.
    void DetachAttachment(std::int32_t recNo, const std::string& key, const std::string& agent);

    // ---- templates ----
    // A new template: the templates page, an editor from the selected account.
    void MailMessageTemplate1Click();
    void btnARModifyClick();
    void btnARDeleteClick();
    void lstVTemplatesChange();
    // A template renamed in the list: its file takes the new name.
    void lstVTemplatesEdited(QTreeWidgetItem* item);
    // Fills the template's merge codes as the preview does (no expressions,
    // no account, this program's version; the example message answered);
    // returns the override recipient.
    std::string MergeTemplate(TmsMessage& message, const TmsMessage& example);

    // ---- stored messages of the selected account ----
    // Reads the received, outbox and sent rows into their lists again.
    void RefreshMessageLists();
    void Open2Click();          // outbox "&Open"
    void NewMessage1Click();    // outbox "&New Message..."
    void DeleteMessage1Click(); // outbox "&Delete..."
    // Sends the selected outbox message and moves it to the sent items.
    void SendNow1Click();
    void Properties1Click();     // outbox "&Properties..."
    void SentProperties1Click(); // sent "&Properties..."
    void MenuItem7Click();       // sent "&Open..."
    void MenuItem8Click();       // sent "&Delete..."
    // Sends the selected sent item again: to the row's recipient, from the
    // account, with the stored file's body and attachments.
    void MenuItem10Click();
    // Custom Send: copies separate messages to server, with a progress
    // dialog that can stop them; the outcome goes to the status window.
    void CustomSendCopies(const TmsMessage& message, int copies, const std::string& server);
    void MenuItem2Click(); // received "&Open..."
    void MenuItem3Click(); // received "&Delete..."
    void Forward1Click();  // received "&Forward..."
    // "Message Properties" of the selected received row.
    void MenuItem6Click();
    void PopupMenuReceivedPopup();
    // Moves the source's current row and its file into the destination's
    // sent items; false (logged) when the file could not be moved, and then
    // no row changed.
    bool MoveMessage(data::TTable& source, data::TXbTable& sourcePartner,
                     data::TTable& destination);
    // The record number of the list's selected row; 0 when none.
    [[nodiscard]] std::int32_t SelectedMessage(TMessageTable table) const;

    // Switches a command on or off; a command whose window is not built
    // stays off.
    static void EnableCommand(QAction* action, bool on);
    // Connects a command built by a window of its own and switches it on.
    void BuildCommand(QAction* action, const std::function<void()>& handler);

    // The node's kind, record number and row key.
    [[nodiscard]] static int NodeImage(const QTreeWidgetItem* node);
    [[nodiscard]] static std::int32_t NodeRecNo(const QTreeWidgetItem* node);
    [[nodiscard]] static std::string NodeKey(const QTreeWidgetItem* node);
    // Puts the node's selection view on the row the node's key names and
    // returns its record number; 0 when that row is gone.
    std::int32_t NodeRow(const QTreeWidgetItem* node);
    // Builds the tree again on the rows as they are now, with the node of
    // the same kind and key selected as before (none when it is gone).
    void RebuildTreeKeepingSelection();

    [[nodiscard]] int ErrorCount() const { return errorCount_; }
    [[nodiscard]] bool StartupFailed() const { return startupFailed_; }
    [[nodiscard]] const std::string& ProgramFolder() const { return programFolder_; }
    [[nodiscard]] TfrmStatus* frmStatus() const { return frmStatus_; }
    // Made after the main window, as the program's start does.
    void SetStatusWindow(TfrmStatus* status) { frmStatus_ = status; }
    void SetSplash(TSplashForm* splash) { splash_ = splash; }

    // ---- components ----
    TCfgTables Tables;
    TmsPOP msPOP1;
    TmsRemotePOP msRemotePOP1;
    TmsSMTP msSMTP1;
    TmsMessage msMessage1;
    TagRas agRas1;

    TfrmRem* frmRem = nullptr;               // lives as long as the main window
    TfrmCustomSend* frmCustomSend = nullptr; // the same

    QTabWidget* pageControlMain = nullptr;
    QWidget* TSaccounts = nullptr;
    QWidget* TSagents = nullptr;
    QWidget* TStemplates = nullptr;
    QTreeWidget* treeMain = nullptr;
    QWidget* panelHistoryHolder = nullptr;
    QTableView* GridAgentHistory = nullptr;
    TDataSetModel* historyModel = nullptr;
    QTreeWidget* lstVAgents = nullptr;
    QTreeWidget* lstVTemplates = nullptr;
    // Under the tree while an account is selected: its stored messages.
    QWidget* panelMessagesHolder = nullptr;
    QTabWidget* pageMessages = nullptr;
    QTreeView* lstVReceived = nullptr;
    QTreeView* lstVOutBox = nullptr;
    QTreeView* lstVSent = nullptr;
    QLabel* StatusPanel0 = nullptr; // 300 pixels: the last log text
    QLabel* StatusPanel1 = nullptr; // 50 pixels

    // Menu bar.
    QMenu* File1 = nullptr;
    QAction* NewAccount1 = nullptr; // "Mail A&ccount"
    QAction* Position1 = nullptr;   // "Account &Group..."
    QAction* NewAgent1 = nullptr;   // "&Agent..."
    QAction* NewTemplate1 = nullptr;
    QAction* e2 = nullptr; // "QueltaBasic S&cript..."
    QAction* E1 = nullptr; // Open "E-Mail Message..."
    QAction* E4 = nullptr; // Open "QueltaBasic Script File"
    QAction* mnuMainDelete = nullptr;
    QAction* mnuRename = nullptr;
    QAction* mnuAttach = nullptr;
    QAction* mnuDetach = nullptr;
    QAction* A2 = nullptr; // Logfiles "Agent Processor..."
    QAction* M1 = nullptr; // Logfiles "Mail Processor..."
    QAction* E3 = nullptr; // "&Enable AutoProcessor..." (hidden)
    QAction* DisableAuto = nullptr;
    QAction* ReIndex1 = nullptr;
    QAction* Compress1 = nullptr;
    QAction* EraseAll1 = nullptr; // hidden
    QAction* L1 = nullptr;        // "&Status..."
    QAction* mnuMainProperties = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Preferences1 = nullptr;
    QAction* Refresh1 = nullptr;
    QMenu* Tools1 = nullptr; // hidden
    QAction* Find1 = nullptr;
    QAction* MailMerge1 = nullptr;
    QAction* Contents1 = nullptr;
    QAction* O3 = nullptr;  // online user resources
    QAction* N15 = nullptr; // "&Update Software..." (hidden)
    QAction* V1 = nullptr;  // "&Visit Dovira..."
    QAction* R1 = nullptr;  // "&Suggest Product Improvements..."
    QAction* N16 = nullptr; // "Other Cool &Software..."
    QAction* O1 = nullptr;  // "&Dovira Software Store..."
    QAction* About1 = nullptr;

    // Tree popup.
    QMenu* PopupMenuTree = nullptr;
    QMenu* popNew = nullptr;
    QAction* popNewItem = nullptr; // the "&New" item
    QAction* popFolder = nullptr;
    QAction* popAccount = nullptr;
    QAction* popDelete = nullptr;
    QAction* popRename = nullptr;
    QAction* popSep1 = nullptr;
    QAction* popAttach = nullptr;
    QAction* popDetach = nullptr;
    QAction* popSep2 = nullptr;
    QAction* popProperties = nullptr;
    QMenu* PopupMenuAgents = nullptr;
    QAction* popAgentsNew = nullptr;
    QAction* popAgentsProperties = nullptr;
    QAction* popAgentsDelete = nullptr;
    QMenu* PopupMenuHistory = nullptr;
    QAction* V3 = nullptr; // "View Message..."

    // The message lists' popups.
    QMenu* PopupMenuOutBox = nullptr;
    QAction *Open2 = nullptr, *NewMessage1 = nullptr, *DeleteMessage1 = nullptr;
    QAction *SendNow1 = nullptr, *Properties1 = nullptr;
    QMenu* PopupMenuSent = nullptr;
    QAction *MenuItem7 = nullptr, *MenuItem8 = nullptr, *MenuItem10 = nullptr;
    QAction* SentProperties1 = nullptr;
    QMenu* PopupMenuReceived = nullptr;
    QAction *MenuItem2 = nullptr, *MenuItem3 = nullptr, *Forward1 = nullptr;
    QAction *Checkwhatsontheserver1 = nullptr, *MenuItem6 = nullptr;

    // Each page's toolbar: "New", "Modify", "Delete".
    struct TPageBar {
        QToolBar* bar = nullptr;
        QAction *New = nullptr, *Modify = nullptr, *Delete = nullptr;
    };
    TPageBar AccountsBar, AgentsBar, TemplatesBar;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildPages();
    void BuildMenus();
    void BuildTreePopup();
    void BuildAgentsPage();
    void BuildTemplatesPage();
    void BuildMessagePanel();
    // Shows the message lists under the tree (read afresh) or hides them.
    void ShowMessageLists(bool on);
    void SortReceived(int column);
    void OpenStoredMessage(TMessageTable table);
    // "Message Properties" of the list's selected row and its own file.
    void ShowStoredProperties(TMessageTable table);
    void DeleteStoredRow(TMessageTable table);
    // An editor for a new message from the selected account, shown, with
    // its subject entry open.
    TfrmMessage* NewMessageEditor();
    void StartUp();
    void AddTreeItems(QTreeWidgetItem* parent, const TTreeItem& item);
    // populateGroups without its last step, FollowTreeSelection: the
    // commands follow the tree's selection.
    void BuildTree();
    void FollowTreeSelection();
    void EnableSelectionCommands(bool on);
    void ShowTreePopup(const QPoint& at);
    // Says that the node's row is gone and shows the tree as it is now.
    void RowGone(const QTreeWidgetItem* node);
    void SayRowGone(const std::string& kind, const std::string& name);
    // Runs a maintenance command; afterwards, also after a failure, the tree
    // and the lists are read again on the rows they showed, since packing
    // and emptying renumber the rows.
    void Maintain(const std::function<void()>& work);

    std::string programFolder_;
    TfrmStatus* frmStatus_ = nullptr;
    TSplashForm* splash_ = nullptr;
    int errorCount_ = 0;
    bool startupFailed_ = false;
    bool shown_ = false;
    bool closed_ = false;
    bool destroyed_ = false;
    // What start-up read; exit writes back only that.
    bool foldersRead_ = false;
    bool boundsRead_ = false;
    bool populating_ = false;
    bool sending_ = false;
    // The received list's sort: one direction for every column.
    bool receivedDescending_ = true;
    std::string editingText_;
    // The account last selected in the tree, which Modify on a group opens:
    // found by its key, since packing renumbers the rows.
    struct {
        std::int32_t RecNo = 0;
        std::string Key, Name;
    } lastAccount_;
};

// The program's main window while it exists, for the windows it opens.
[[nodiscard]] TfrmMain* frmMain();

} // namespace cfgman
