#include "cfgman/frmmessageeditor.h"

#include "cfgman/core/messagefields.h"
#include "cfgman/core/settings.h"
#include "cfgman/filedialog.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmmessageformat.h"
#include "cfgman/qtext.h"
#include "platform/win/hooks.h"
#include "widgets/splitter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTextEdit>
#include <QVBoxLayout>

namespace cfgman {

namespace {

constexpr int kPathRole = Qt::UserRole;

// The header strip's tile: a quiet pattern drawn once.
QPixmap BackgroundTile() {
    QPixmap tile(16, 16);
    tile.fill(QColor(236, 233, 216));
    QPainter p(&tile);
    p.setPen(QColor(226, 222, 200));
    for (int i = 0; i < 16; i += 4)
        p.drawLine(0, i, 15 - i, 15);
    return tile;
}

// The body: plain text, tabs typed, the text 6 pixels in from both edges.
class TBodyEdit : public QTextEdit {
public:
    explicit TBodyEdit(QWidget* parent) : QTextEdit(parent) {
        setAcceptRichText(false);
        setTabChangesFocus(false);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setViewportMargins(6, 0, 6, 0);
    }
};

} // namespace

TMessageEditor::TMessageEditor(QWidget* parent, const char* objectName, const char* caption)
    : QMainWindow(parent, Qt::Window) {
    setObjectName(QString::fromLatin1(objectName));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromLatin1(caption));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);

    pnlHeader = new QWidget(central);
    pnlHeader->setObjectName(QStringLiteral("pnlHeader"));
    pnlHeader->setAutoFillBackground(true);
    QPalette pal = pnlHeader->palette();
    pal.setBrush(QPalette::Window, QBrush(BackgroundTile()));
    pnlHeader->setPalette(pal);
    layout->addWidget(pnlHeader);

    REBody = new TBodyEdit(nullptr);
    REBody->setObjectName(QStringLiteral("REBody"));
    FormatBar = new TFormatBar(*REBody, central);
    FormatBar->setVisible(false);
    layout->addWidget(FormatBar);
    Ruler = new TEditRuler(*REBody, central);
    Ruler->setVisible(false);
    layout->addWidget(Ruler);

    Splitter = new widgets::TTwoWaySplitter(central);
    Splitter->setObjectName(QStringLiteral("Splitter"));
    Splitter->SetSplitDirection(widgets::TSplitDirection::sdHorizontal);
    Splitter->SetBevelOuter(widgets::TBevelCut::bvNone);
    REBody->setParent(Splitter);
    lstVAttach = new QListWidget(Splitter);
    lstVAttach->setObjectName(QStringLiteral("lstVAttach"));
    lstVAttach->setViewMode(QListView::IconMode);
    lstVAttach->setResizeMode(QListView::Adjust);
    lstVAttach->setMovement(QListView::Static);
    lstVAttach->setWordWrap(true);
    lstVAttach->setGridSize(QSize(96, 64));
    Splitter->installEventFilter(this);
    layout->addWidget(Splitter, 1);
    UpdateSplitter();

    REBody->installEventFilter(this);
    connect(REBody, &QTextEdit::cursorPositionChanged, this, [this] {
        FormatBar->Refresh();
        Ruler->Refresh();
    });
    connect(REBody, &QTextEdit::selectionChanged, this, [this] { FormatBar->Refresh(); });

    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuEdit = menuBar()->addMenu(QStringLiteral("&Edit"));
    mnuView = menuBar()->addMenu(QStringLiteral("&View"));
}

TMessageEditor::~TMessageEditor() = default;

QAction* TMessageEditor::Item(QMenu* menu, const char* text, const std::function<void()>& handler) {
    QAction* a = menu->addAction(QString::fromLatin1(text));
    if (handler)
        connect(a, &QAction::triggered, this, [this, handler] { Command(handler); });
    return a;
}

void TMessageEditor::Command(const std::function<void()>& body) {
    if (TfrmMain* main = frmMain()) {
        main->Command(body);
        return;
    }
    try {
        body();
    } catch (const std::exception& e) {
        win::MessageBox(e.what(), kAppTitle, win::MB_OK | win::MB_ICONERROR);
    }
}

void TMessageEditor::BuildEditMenu(const std::function<void()>& selectAll) {
    EditUndo = Item(mnuEdit, "&Undo", [this] { REBody->undo(); });
    EditUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    EditCut = Item(mnuEdit, "Cu&t", [this] { Clipboard(TClip::Cut); });
    EditCut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    EditCopy = Item(mnuEdit, "&Copy", [this] { Clipboard(TClip::Copy); });
    EditCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    // The controls paste with Ctrl+V by themselves.
    EditPaste = Item(mnuEdit, "&Paste", [this] { Clipboard(TClip::Paste); });
    EditSelectAll = Item(mnuEdit, "&Select All...", selectAll);
    EditSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    for (QAction* a : {EditUndo, EditCut, EditCopy, EditSelectAll})
        a->setShortcutContext(Qt::WindowShortcut);
}

void TMessageEditor::BuildViewMenu() {
    ViewToolBar = mnuView->addAction(QStringLiteral("&ToolBar"));
    ViewStatusBar = mnuView->addAction(QStringLiteral("Status Bar"));
    for (QAction* a : {ViewToolBar, ViewStatusBar}) {
        a->setCheckable(true);
        a->setChecked(true);
    }
}

void TMessageEditor::Clipboard(TClip what) {
    QWidget* focus = QApplication::focusWidget();
    if (auto* edit = qobject_cast<QLineEdit*>(focus)) {
        if (what == TClip::Cut)
            edit->cut();
        else if (what == TClip::Copy)
            edit->copy();
        else
            edit->paste();
    } else if (auto* body = qobject_cast<QTextEdit*>(focus)) {
        if (what == TClip::Cut)
            body->cut();
        else if (what == TClip::Copy)
            body->copy();
        else
            body->paste();
    }
}

TMessageEditor::TEntry TMessageEditor::AddEntry(const char* name, const char* prompt,
                                                const char* hint) {
    TEntry entry{new QLabel(QString::fromLatin1(prompt), pnlHeader), new QLineEdit(pnlHeader)};
    entry.Label->setObjectName(QStringLiteral("lbl") + QString::fromLatin1(name));
    // It shows what the message holds, which may look like markup.
    entry.Label->setTextFormat(Qt::PlainText);
    entry.Label->setToolTip(QString::fromLatin1(hint));
    entry.Label->setCursor(Qt::IBeamCursor);
    entry.Label->installEventFilter(this);
    entry.Edit->setObjectName(QStringLiteral("edt") + QString::fromLatin1(name));
    entry.Edit->setVisible(false);
    entry.Edit->installEventFilter(this);
    QLineEdit* edit = entry.Edit;
    QLabel* label = entry.Label;
    connect(edit, &QLineEdit::textEdited, this, [this] { SetModified(true); });
    connect(edit, &QLineEdit::editingFinished, this, [edit, label] {
        if (!edit->text().isEmpty())
            label->setText(edit->text());
    });
    if (std::string_view(name) == "Subject") {
        edtSubject = edit;
        lblSubject = label;
        connect(edit, &QLineEdit::textEdited, this, [this](const QString& text) {
            setWindowTitle(Q(SubjectCaption(text.toStdString())));
        });
    }
    entries_.push_back(entry);
    return entry;
}

void TMessageEditor::OpenEntry(QLineEdit* edit) {
    for (const TEntry& e : entries_) {
        if (e.Edit == edit)
            continue;
        if (e.Edit->isVisible() && !e.Edit->text().isEmpty())
            e.Label->setText(e.Edit->text());
        e.Edit->setVisible(false);
    }
    edit->setVisible(true);
    edit->raise();
    edit->setFocus();
}

void TMessageEditor::HideEntries() {
    for (const TEntry& e : entries_) {
        if (e.Edit->isVisible() && !e.Edit->text().isEmpty())
            e.Label->setText(e.Edit->text());
        e.Edit->setVisible(false);
    }
}

void TMessageEditor::OpenSubjectEntry() {
    OpenEntry(edtSubject);
}

void TMessageEditor::SetSubject(const QString& subject) {
    edtSubject->setText(subject);
    lblSubject->setText(subject.isEmpty() ? QString::fromLatin1(kSubjectPrompt) : subject);
}

QString TMessageEditor::Subject() const {
    return edtSubject->text();
}

bool TMessageEditor::Modified() const {
    return REBody->document()->isModified();
}

void TMessageEditor::SetModified(bool on) {
    REBody->document()->setModified(on);
}

QStringList TMessageEditor::BodyLines() const {
    return REBody->toPlainText().split(QLatin1Char('\n'));
}

void TMessageEditor::SetBodyLines(const QStringList& lines) {
    const bool modified = Modified();
    REBody->setPlainText(lines.join(QLatin1Char('\n')));
    SetModified(modified);
}

void TMessageEditor::SetSenderFields(const std::string& id, const std::string& name,
                                     const std::string& address) {
    fromId_ = id;
    fromName_ = name;
    fromAddress_ = address;
}

void TMessageEditor::SetCurrentFileName(const std::string& name) {
    currentFile_ = name;
    setWindowTitle(Q(FileCaption(name)));
}

QString TMessageEditor::Decode(const std::string& bytes) const {
    return DecodeText(bytes, charset_);
}

QString TMessageEditor::DecodeText(const std::string& bytes, const std::string& charset) {
    const QByteArray raw(bytes.data(), qsizetype(bytes.size()));
    if (!charset.empty()) {
        QStringDecoder named(charset.c_str());
        if (named.isValid()) {
            QString text = named.decode(raw);
            if (!named.hasError())
                return text;
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(raw);
    return utf8.hasError() ? QString::fromLatin1(raw) : text;
}

std::string TMessageEditor::ChooseCharset(const QStringList& texts) const {
    auto fits = [&](const char* name) {
        QStringEncoder encoder(name);
        if (!encoder.isValid())
            return false;
        for (const QString& t : texts) {
            (void)QByteArray(encoder.encode(t));
            if (encoder.hasError())
                return false;
        }
        return true;
    };
    const bool plain = charset_.empty() || charset_ == "us-ascii";
    if (!plain && fits(charset_.c_str()))
        return charset_;
    // Without a character set of its own the composer writes 8-bit text as
    // iso-8859-1.
    if (plain && fits("ISO-8859-1"))
        return {};
    return "utf-8";
}

std::string TMessageEditor::Encode(const QString& text, const std::string& charset) const {
    const std::string name =
        charset.empty()
            ? (charset_.empty() || charset_ == "us-ascii" ? std::string("ISO-8859-1") : charset_)
            : charset;
    QStringEncoder encoder(name.c_str());
    const QByteArray bytes = encoder.isValid() ? QByteArray(encoder.encode(text)) : text.toUtf8();
    return bytes.toStdString();
}

void TMessageEditor::OpenMessageFile(const std::string& path) {
    tag_ = 10;
    msMessage1.Clear();
    SetCurrentFileName(path);
    try {
        msMessage1.LoadFromFile(path);
    } catch (...) {
        // What a failed load left must never be saved over the file.
        tag_ = 0;
        msMessage1.Clear();
        currentFile_.clear();
        setWindowTitle(Q(SubjectCaption({})));
        throw;
    }
    if (shown_)
        SetMailMessage(msMessage1);
}

void TMessageEditor::SetMailMessage(const TmsMessage& message) {
    if (&message != &msMessage1)
        msMessage1.Assign(message);
    charset_ = msMessage1.CharsetName();
    QStringList lines;
    for (const std::string& line : msMessage1.Body())
        lines << Decode(line);
    SetBodyLines(lines);
    const QString subject = Decode(msMessage1.Subject());
    setWindowTitle(subject);
    SetSubject(subject);
    ClearAttachmentRows();
    for (int i = 0; i < msMessage1.Attachments().Count(); ++i) {
        const std::string path = folder_.Save(msMessage1, i);
        AddAttachmentRow(QFileInfo(Q(path)).fileName(), path);
    }
    UpdateSplitter();
}

void TMessageEditor::AddAttachmentRow(const QString& caption, const std::string& path) {
    lstAtt.push_back(path);
    auto* row = new QListWidgetItem(caption, lstVAttach);
    row->setData(kPathRole, int(lstAtt.size() - 1));
    const QIcon icon = QFileIconProvider().icon(QFileInfo(Q(path)));
    if (!icon.isNull())
        row->setIcon(icon);
    row->setToolTip(Q(path));
}

void TMessageEditor::ClearAttachmentRows() {
    lstVAttach->clear();
    lstAtt.clear();
    folder_.Remove();
}

std::vector<std::string> TMessageEditor::AttachmentPaths() const {
    std::vector<std::string> paths;
    for (int i = 0; i < lstVAttach->count(); ++i)
        paths.push_back(lstAtt.at(std::size_t(lstVAttach->item(i)->data(kPathRole).toInt())));
    return paths;
}

void TMessageEditor::UpdateSplitter() {
    const bool rows = lstVAttach->count() > 0;
    lstVAttach->setVisible(rows);
    Splitter->SetBarPosition(rows ? 70 : 100);
    locked_ = !rows;
    Splitter->ResizePanes();
}

bool TMessageEditor::SaveAsDialog() {
    const QString file = ExecuteSaveDialog(this, {QStringLiteral("Save As"),
                                                  QStringLiteral("eml"),
                                                  {QStringLiteral("E-Mail Files (*.eml)")},
                                                  Q(Folders().TemplatesPath())});
    if (file.isEmpty())
        return false;
    const std::string path = file.toUtf8().toStdString();
    if (QFileInfo::exists(file) &&
        win::MessageBox(OverwriteQuestion(path), kAppTitle,
                        win::MB_YESNOCANCEL | win::MB_ICONQUESTION) != win::IDYES)
        return false;
    WriteFile(path);
    SetCurrentFileName(path);
    SetModified(false);
    return true;
}

void TMessageEditor::FilePrint() {
    QPrinter printer;
    printer.setDocName(Q(currentFile_));
    if (!ExecutePrintDialog(this, printer))
        return;
    REBody->document()->print(&printer);
}

void TMessageEditor::BodyEntered() {
    HideEntries();
}

bool TMessageEditor::BodyKey(QKeyEvent*) {
    return false;
}

void TMessageEditor::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    if (tag_ == 10)
        Command([this] { SetMailMessage(msMessage1); });
    SetModified(false);
    REBody->setFocus();
}

void TMessageEditor::closeEvent(QCloseEvent* event) {
    bool go = true;
    if (Modified())
        Command([&] { go = ConfirmSaveChanges(); });
    if (!go) {
        event->ignore();
        return;
    }
    tag_ = 99;
    QMainWindow::closeEvent(event);
}

void TMessageEditor::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    LayoutHeader();
}

bool TMessageEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Splitter && locked_ &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove))
        return true; // no attachments: the bar stays put
    if (watched == REBody) {
        if (event->type() == QEvent::FocusIn)
            BodyEntered();
        else if (event->type() == QEvent::KeyPress && BodyKey(static_cast<QKeyEvent*>(event)))
            return true;
        return QMainWindow::eventFilter(watched, event);
    }
    for (const TEntry& e : entries_) {
        if (watched == e.Label && event->type() == QEvent::MouseButtonPress) {
            OpenEntry(e.Edit);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace cfgman
