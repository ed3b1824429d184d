#include "cfgman/frmmessage.h"

#include "cfgman/core/messagefields.h"
#include "cfgman/core/outside.h"
#include "cfgman/core/settings.h"
#include "cfgman/core/templates.h"
#include "cfgman/filedialog.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmmessageformat.h"
#include "cfgman/frmmessagepre.h"
#include "cfgman/frmupdatefield.h"
#include "cfgman/qtext.h"
#include "platform/win/hooks.h"
#include "platform/win/paths.h"
#include "platform/win/profile.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStyle>
#include <QTextEdit>
#include <QUrl>

namespace cfgman {

namespace {

std::string ProgramFolder() {
    return frmMain() ? frmMain()->ProgramFolder()
                     : win::IncludeTrailingPathDelimiter(win::ProgramFolder());
}

// Local files dragged in from outside the program.
QStringList DroppedFiles(const QDropEvent& event) {
    QStringList files;
    if (event.source() || !event.mimeData()->hasUrls())
        return files;
    for (const QUrl& url : event.mimeData()->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

} // namespace

TfrmMessage::TfrmMessage(QWidget* parent)
    : TMessageEditor(parent, "frmMessage", kNewMessageCaption) {
    AddEntry("Subject", kSubjectPrompt, kSubjectHint);
    imgPicture = new QLabel(pnlHeader);
    imgPicture->setObjectName(QStringLiteral("imgPicture"));
    imgPicture->setPixmap(style()->standardIcon(QStyle::SP_FileDialogContentsView).pixmap(32));
    pnlHeader->setFixedHeight(44);

    FileOpenItem = Item(mnuFile, "&Open...", [this] { FileOpen(); });
    FileSaveItem = Item(mnuFile, "&Save...", [this] { FileSave(); });
    FileSaveAsItem = Item(mnuFile, "Save &As...", [this] { FileSaveAs(); });
    FilePrintItem = Item(mnuFile, "&Print", [this] { FilePrint(); });
    MergePreview = Item(mnuFile, "Merge Preview...", [this] { MergePreview1Click(); });
    MergePreview->setVisible(false);
    mnuFile->addSeparator();
    FileCloseItem = Item(mnuFile, "&Close", [this] { close(); });
    BuildEditMenu([this] { REBody->selectAll(); });
    BuildViewMenu();
    mnuInsert = menuBar()->addMenu(QStringLiteral("&Insert"));
    MergeCode = Item(mnuInsert, "&Merge Code...", [this] { F1Click(); });
    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    HelpTemplates = Item(mnuHelp, "Help on Auto-Reply Templates", [] {
        OpenDocument("file://" + ProgramFolder() + kHelpFile + "#Auto_Reply_Templates");
    });
    HelpTemplates->setShortcut(QKeySequence(Qt::Key_F1));

    PopupBody = new QMenu(REBody);
    for (QAction* a : {EditUndo, EditCut, EditCopy, EditPaste, EditSelectAll})
        PopupBody->addAction(a);
    REBody->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(REBody, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupBody->popup(REBody->mapToGlobal(at)); });

    lstVAttach->setSelectionMode(QAbstractItemView::ExtendedSelection);
    PopupAttach = new QMenu(lstVAttach);
    NewAttachment = Item(PopupAttach, "New Attachment(s)...", [this] { NewAttachments(); });
    PopupAttach->addSeparator();
    RemoveAttachment =
        Item(PopupAttach, "Remove Attachment(s)...", [this] { RemoveAttachments(); });
    RemoveAttachment->setEnabled(false);
    lstVAttach->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lstVAttach, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupAttach->popup(lstVAttach->viewport()->mapToGlobal(at));
    });
    connect(lstVAttach, &QListWidget::itemSelectionChanged, this,
            [this] { RemoveAttachment->setEnabled(!lstVAttach->selectedItems().isEmpty()); });
    connect(FormatBar->AttachButton, &QAction::triggered, this,
            [this] { Command([this] { NewAttachments(); }); });

    setAcceptDrops(true);
    REBody->viewport()->installEventFilter(this);

    const TBounds b = ReadBounds(win::TIniFile(kIniName), "MCWindowPos");
    move(b.Left, b.Top);
    resize(b.Width, b.Height);
}

TfrmMessage::~TfrmMessage() {
    try {
        win::TIniFile ini(kIniName);
        WriteBounds(ini, "MCWindowPos", {x(), y(), height(), width()});
    } catch (const std::exception&) {
        // The window is going; there is nowhere left to report to.
    }
}

void TfrmMessage::OpenMessageFile(const std::string& path) {
    lblFilename = path;
    try {
        TMessageEditor::OpenMessageFile(path);
    } catch (...) {
        lblFilename.clear();
        throw;
    }
}

void TfrmMessage::LayoutHeader() {
    const int w = width();
    lblSubject->setGeometry(10, 12, std::max(w - 180, 40), 20);
    edtSubject->setGeometry(10, 10, std::max(w - 180, 40), 24);
    imgPicture->setGeometry(w - 82, 6, 32, 32);
}

bool TfrmMessage::BodyKey(QKeyEvent* key) {
    if (key->key() != Qt::Key_Backtab)
        return false;
    OpenSubjectEntry();
    return true;
}

bool TfrmMessage::ConfirmSaveChanges() {
    if (!Modified())
        return true;
    setWindowTitle(Q(FileCaption(S(Subject()))));
    currentFile_ = lblFilename;
    const int answer = win::MessageBox(SaveChangesQuestion(currentFile_), kAppTitle,
                                       win::MB_YESNOCANCEL | win::MB_ICONQUESTION);
    if (answer == win::IDCANCEL)
        return false;
    if (answer != win::IDYES)
        return true;
    if (currentFile_.empty())
        FileSaveAs();
    else
        FileSave();
    // A cancelled Save As keeps the window and its changes.
    return !Modified();
}

void TfrmMessage::FileOpen() {
    if (!ConfirmSaveChanges())
        return;
    const QString file = ExecuteOpenDialog(
        this, {QStringLiteral("Open"),
               QStringLiteral("EML"),
               {QStringLiteral("Rich Text Files (*.EML *.eml)"),
                QStringLiteral("Text Files (*.TXT *.txt)"), QStringLiteral("All Files (*)")},
               Q(ProgramFolder())});
    if (file.isEmpty())
        return;
    msMessage1.LoadFromFile(S(file));
    // Save writes where the shown message came from, never over the file
    // the window had before.
    lblFilename = S(file);
    SetCurrentFileName(S(file));
    ClearAttachmentRows();
    SetMailMessage(msMessage1);
    REBody->setFocus();
    SetModified(false);
}

void TfrmMessage::PopulateTMessageObject() {
    QStringList texts = BodyLines();
    texts << Subject() << Q(fromName_);
    TEditorFields fields;
    fields.Charset = ChooseCharset(texts);
    fields.SenderName = Encode(Q(fromName_), fields.Charset);
    fields.SenderAddress = fromAddress_;
    fields.Subject = Encode(Subject(), fields.Charset);
    for (const QString& line : BodyLines())
        fields.Body.push_back(Encode(line, fields.Charset));
    fields.Attachments = AttachmentPaths();
    PopulateMessage(msMessage1, fields);
    if (!fields.Charset.empty())
        charset_ = fields.Charset;
}

void TfrmMessage::WriteFile(const std::string& path) {
    PopulateTMessageObject();
    msMessage1.SaveToFile(path);
}

void TfrmMessage::FileSave() {
    currentFile_ = lblFilename;
    if (currentFile_.empty() || currentFile_ == "Untitled") {
        FileSaveAs();
        return;
    }
    WriteFile(currentFile_);
    SetModified(false);
}

void TfrmMessage::FileSaveAs() {
    if (!SaveAsDialog())
        return;
    if (TfrmMain* main = frmMain())
        main->RefreshTemplates();
}

void TfrmMessage::DropFiles(const QStringList& paths) {
    for (const QString& path : paths)
        AddAttachmentRow(QFileInfo(path).fileName(), S(path));
    if (!paths.isEmpty())
        SetModified(true);
    UpdateSplitter();
}

void TfrmMessage::NewAttachments() {
    const QStringList files = ExecuteOpenFilesDialog(
        this, {QStringLiteral("Select Attachment(s)"),
               {},
               {QStringLiteral("All Files (*)"), QStringLiteral("Compressed Files (*.ZIP *.zip)"),
                QStringLiteral("Text Files (*.TXT *.txt)"),
                QStringLiteral("Document Files (*.DOC *.doc)"),
                QStringLiteral("Sound Files (*.WAV *.wav)"),
                QStringLiteral("HTML Document (*.HTM *.htm)")},
               Q(ProgramFolder())});
    for (const QString& file : files)
        AddAttachmentRow(file, S(file));
    if (!files.isEmpty())
        SetModified(true);
    UpdateSplitter();
}

void TfrmMessage::RemoveAttachments() {
    const QList<QListWidgetItem*> rows = lstVAttach->selectedItems();
    if (rows.isEmpty())
        return;
    qDeleteAll(rows);
    SetModified(true);
    UpdateSplitter();
}

void TfrmMessage::F1Click() {
    TfrmUpdateField dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        InsertAtCaret(Q(dialog.Code()));
    REBody->setFocus();
}

void TfrmMessage::InsertAtCaret(const QString& text) {
    QClipboard* clipboard = QApplication::clipboard();
    // Every form the clipboard held, not only its text.
    auto* kept = new QMimeData;
    if (const QMimeData* held = clipboard->mimeData())
        for (const QString& format : held->formats())
            kept->setData(format, held->data(format));
    clipboard->setText(text);
    REBody->paste();
    clipboard->setMimeData(kept);
}

void TfrmMessage::MergePreview1Click() {
    TfrmMessagePre ask(this);
    if (ask.exec() != QDialog::Accepted)
        return;
    PopulateTMessageObject();
    const std::string path = ProgramFolder() + "Temp.eml";
    msMessage1.SaveToFile(path);
    // The preview fills a copy: the template in the window keeps its codes.
    TmsMessage preview;
    preview.LoadFromFile(path);
    msIncomingMessage.Clear();
    const std::string to =
        frmMain() ? frmMain()->MergeTemplate(preview, msIncomingMessage)
                  : quelta::ProccessMergeCodes(preview, msIncomingMessage, PreviewMergeContext({}));
    if (!to.empty()) {
        preview.Recipients().Clear();
        preview.Recipients().Add(to, "");
    }
    preview.SaveToFile(path);
    OpenDocument(path);
}

void TfrmMessage::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFiles(*event).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TfrmMessage::dragMoveEvent(QDragMoveEvent* event) {
    if (!DroppedFiles(*event).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TfrmMessage::dropEvent(QDropEvent* event) {
    const QStringList files = DroppedFiles(*event);
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    Command([&] { DropFiles(files); });
}

bool TfrmMessage::eventFilter(QObject* watched, QEvent* event) {
    // Files dropped on the body become attachments, not text.
    if (watched == REBody->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
            if (!DroppedFiles(*static_cast<QDropEvent*>(event)).isEmpty()) {
                dragEnterEvent(static_cast<QDragEnterEvent*>(event));
                return true;
            }
            break;
        case QEvent::DragMove:
            if (!DroppedFiles(*static_cast<QDropEvent*>(event)).isEmpty()) {
                dragMoveEvent(static_cast<QDragMoveEvent*>(event));
                return true;
            }
            break;
        case QEvent::Drop:
            if (!DroppedFiles(*static_cast<QDropEvent*>(event)).isEmpty()) {
                dropEvent(static_cast<QDropEvent*>(event));
                return true;
            }
            break;
        default:
            break;
        }
    }
    return TMessageEditor::eventFilter(watched, event);
}

} // namespace cfgman
