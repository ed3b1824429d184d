#include "cfgman/frminmessage.h"

#include "cfgman/core/mailini.h"
#include "cfgman/core/messagefields.h"
#include "cfgman/core/messagerows.h"
#include "cfgman/core/outgoing.h"
#include "cfgman/core/settings.h"
#include "cfgman/filedialog.h"
#include "cfgman/frmcustomsend.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmmessage.h"
#include "cfgman/qtext.h"
#include "platform/rtf/rtfreader.h"
#include "platform/win/datetime.h"
#include "platform/win/hooks.h"
#include "processor/store.h"
#include "widgets/explorerbutton.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QStringEncoder>
#include <QTextDocument>
#include <QTextEdit>

namespace cfgman {

TfrmInMessage::TfrmInMessage(QWidget* parent)
    : TMessageEditor(parent, "frmInMessage", kReceivedMessageCaption) {
    const TEntry recipients = AddEntry("Recipients", kRecipientsPrompt, kRecipientsHint);
    lblRecipients = recipients.Label;
    edtRecipients = recipients.Edit;
    const TEntry cc = AddEntry("CC", kCcPrompt, kCcHint);
    lblCC = cc.Label;
    edtCC = cc.Edit;
    AddEntry("Subject", kSubjectPrompt, kSubjectHint);
    pnlHeader->setFixedHeight(86);

    HandlingMenu = new QMenu(this);
    ReplyItem = Item(HandlingMenu, "Reply...", [this] { Reply(); });
    ForwardItem = Item(HandlingMenu, "Forward...", [this] { Forward(); });
    btnHandling = new widgets::TExplorerButton(pnlHeader);
    btnHandling->setObjectName(QStringLiteral("btnHandling"));
    btnHandling->SetCaption("Handling");
    btnHandling->SetPopupMenu(HandlingMenu);
    btnHandling->OnClick = [this](QObject*) { Command([this] { Handling(); }); };
    // A button with a drop-down never clicks, so the menu has one of its own.
    btnHandlingMenu = new widgets::TExplorerButton(pnlHeader);
    btnHandlingMenu->setObjectName(QStringLiteral("btnHandlingMenu"));
    btnHandlingMenu->SetDropDownMenu(HandlingMenu);

    FileSaveMessage = Item(mnuFile, "Save Message...", nullptr);
    FileSaveMessage->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    FileCustomSend = Item(mnuFile, "&Custom Send...", [this] { CustomSend1Click(); });
    FileOpenItem = Item(mnuFile, "&Open...", [this] { FileOpen(); });
    FileSaveItem = Item(mnuFile, "&Save...", [this] { FileSave(); });
    FileSaveAsItem = Item(mnuFile, "Save &As...", [this] { FileSaveAs(); });
    FilePrintItem = Item(mnuFile, "&Print", [this] { FilePrint(); });
    FileProperties = Item(mnuFile, "&Properties...", nullptr);
    FileCloseItem = Item(mnuFile, "&Close", nullptr);
    BuildEditMenu([this] { SelectFont(); });
    BuildViewMenu();
    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->addAction(QStringLiteral("Help Topics..."));
    mnuHelp->addAction(QStringLiteral("&About Quelta..."));
    resize(540, 380);
}

void TfrmInMessage::SetReceivedRow(std::int32_t recNo, const std::string& fileName) {
    lblRecNo = recNo;
    lblFilename = fileName;
}

void TfrmInMessage::SetMailMessage(const TmsMessage& message) {
    TMessageEditor::SetMailMessage(message);
    const QString sender = Decode(msMessage1.Sender().Address());
    edtRecipients->setText(sender);
    lblRecipients->setText(sender.isEmpty() ? QString::fromLatin1(kRecipientsPrompt) : sender);
}

void TfrmInMessage::LayoutHeader() {
    const int w = std::max(width() - 180, 40);
    int y = 6;
    for (const TEntry& e : entries_) {
        e.Label->setGeometry(10, y + 2, w, 20);
        e.Edit->setGeometry(10, y, w, 24);
        y += 26;
    }
    btnHandling->setGeometry(width() - 82, 8, 64, 40);
    btnHandlingMenu->setGeometry(width() - 18, 8, 14, 40);
}

bool TfrmInMessage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Tab) {
        // Tab goes recipients, carbon copies, subject, body.
        if (watched == edtRecipients) {
            OpenEntry(edtCC);
            return true;
        }
        if (watched == edtCC) {
            OpenEntry(edtSubject);
            return true;
        }
        if (watched == edtSubject) {
            REBody->setFocus();
            return true;
        }
    }
    if (watched == edtRecipients && event->type() == QEvent::MouseButtonRelease) {
        // The whole entry between the semicolons around the caret.
        const QString text = edtRecipients->text();
        const int at = edtRecipients->cursorPosition();
        int first = at, last = at;
        while (first > 0 && text[first - 1] != QLatin1Char(';'))
            --first;
        while (last < text.size() && text[last] != QLatin1Char(';'))
            ++last;
        edtRecipients->setSelection(first, last - first);
        return true;
    }
    return TMessageEditor::eventFilter(watched, event);
}

bool TfrmInMessage::ConfirmSaveChanges() {
    if (!Modified())
        return true;
    const int answer = win::MessageBox(SaveChangesQuestion(currentFile_), kAppTitle,
                                       win::MB_YESNOCANCEL | win::MB_ICONQUESTION);
    if (answer == win::IDCANCEL)
        return false;
    if (answer != win::IDYES)
        return true;
    FileSave();
    return !Modified();
}

void TfrmInMessage::FileOpen() {
    if (!ConfirmSaveChanges())
        return;
    const QString file = ExecuteOpenDialog(this, {QStringLiteral("Open"),
                                                  QStringLiteral("RTF"),
                                                  {QStringLiteral("Rich Text Files (*.RTF *.rtf)"),
                                                   QStringLiteral("Text Files (*.TXT *.txt)")},
                                                  Q(Folders().TemplatesPath())});
    if (file.isEmpty())
        return;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot open file " + S(file));
    const QByteArray data = in.readAll();
    QTextDocument text;
    rtf::ReadRtf(std::string_view(data.constData(), std::size_t(data.size())), text);
    SetBodyLines(text.toPlainText().split(QLatin1Char('\n')));
    // The body is the message's now; Save must ask where to, never write
    // the message over the text file it came from.
    SetCurrentFileName("Untitled");
    REBody->setFocus();
    SetModified(false);
}

void TfrmInMessage::CopyEdits() {
    QStringList texts = BodyLines();
    texts << Subject();
    const std::string charset = ChooseCharset(texts);
    TStringList body;
    for (const QString& line : BodyLines())
        body.Add(Encode(line, charset));
    msMessage1.SetBody(body);
    msMessage1.SetSubject(Encode(Subject(), charset));
    if (!charset.empty()) {
        msMessage1.SetCharsetName(charset);
        charset_ = charset;
    }
}

void TfrmInMessage::WriteFile(const std::string& path) {
    CopyEdits();
    msMessage1.SaveToFile(path);
}

void TfrmInMessage::FileSave() {
    if (currentFile_.empty() || currentFile_ == "Untitled") {
        FileSaveAs();
        return;
    }
    WriteFile(currentFile_);
    SetModified(false);
}

void TfrmInMessage::FileSaveAs() {
    (void)SaveAsDialog();
}

void TfrmInMessage::SelectFont() {
    const QTextCursor cursor = REBody->textCursor();
    QFont font = cursor.hasSelection() ? cursor.charFormat().font() : REBody->currentFont();
    if (ExecuteFontDialog(this, font)) {
        QTextCharFormat format;
        format.setFont(font);
        // The selection when it holds a character, else what is typed next.
        REBody->mergeCurrentCharFormat(format);
    }
    REBody->setFocus();
}

TfrmMessage* TfrmInMessage::NewEditor(QWidget* parent, const std::string& id,
                                      const std::string& name, const std::string& address,
                                      const QString& subject) {
    auto* editor = new TfrmMessage(parent);
    editor->SetSenderFields(id, name, address);
    editor->SetSubject(subject);
    editor->setWindowTitle(Q(SubjectCaption(S(subject))));
    return editor;
}

TfrmMessage* TfrmInMessage::Reply() {
    TfrmMessage* editor =
        NewEditor(parentWidget(), fromId_, fromName_, fromAddress_, Q(ReplySubject(S(Subject()))));
    editor->show();
    return editor;
}

TfrmMessage* TfrmInMessage::ForwardEditor(QWidget* parent, const std::string& id,
                                          const std::string& name, const std::string& address,
                                          const QString& subject, const QStringList& body) {
    TfrmMessage* editor =
        NewEditor(parent, id, name, address, Q(ForwardSubject(name, address, S(subject))));
    editor->SetBodyLines(body);
    editor->show();
    return editor;
}

TfrmMessage* TfrmInMessage::Forward() {
    return ForwardEditor(parentWidget(), fromId_, fromName_, fromAddress_, Subject(), BodyLines());
}

void TfrmInMessage::Handling() {
    quelta::ForceStoreFolder(Folders().MessagesPath(), fromId_, quelta::TStoreFolder::In);
    CopyEdits();
    const std::string recipients = S(edtRecipients->text());
    msMessage1.Recipients().Add(recipients, recipients);
    msMessage1.Attachments().Clear();
    for (const std::string& path : AttachmentPaths())
        msMessage1.Attachments().AddFile(path);
    WriteHandling(Folders().DataBasePath(), lblRecNo, {recipients, S(Subject()), lblFilename},
                  win::Now());
    close();
}

namespace {

// The character set the shown texts go out in: none while they are ASCII,
// else Latin-1 when it holds them, else UTF-8, so no character is lost
// whichever set was chosen.
const char* SendCharset(const QStringList& texts) {
    bool ascii = true;
    for (const QString& t : texts)
        for (const QChar c : t)
            ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return "";
    QStringEncoder latin1(QStringEncoder::Latin1);
    for (const QString& t : texts) {
        (void)QByteArray(latin1.encode(t));
        if (latin1.hasError())
            return "utf-8";
    }
    return "iso-8859-1";
}

std::string Bytes(const QString& text, const char* charset) {
    if (std::string_view(charset) == "utf-8")
        return S(text);
    return text.toLatin1().toStdString();
}

} // namespace

TShownMessage TfrmInMessage::ShownMessage(const QString& from) const {
    const QStringList body = BodyLines();
    const QString to = edtRecipients->text();
    const QString cc = edtCC->text();
    const QString subject = Subject();
    const char* charset = SendCharset(QStringList(body) << from << to << cc << subject);
    TShownMessage shown;
    shown.Charset = charset;
    shown.From = Bytes(from, charset);
    shown.Recipients = Bytes(to, charset);
    shown.CC = Bytes(cc, charset);
    shown.Subject = Bytes(subject, charset);
    for (const QString& line : body)
        shown.Body.Add(Bytes(line, charset));
    shown.Attachments = AttachmentPaths();
    return shown;
}

void TfrmInMessage::CustomSend1Click() {
    TfrmMain* main = frmMain();
    if (!main || !main->frmCustomSend)
        return;
    TfrmCustomSend* dialog = main->frmCustomSend;
    if (dialog->exec() != QDialog::Accepted)
        return;
    const TMailIni mail = ReadMailIni();
    if (mail.SMTPAddress.empty()) {
        win::MessageBox("You must enter a valid SMTP address in the preferences dialog box",
                        kAppTitle, win::MB_OK | win::MB_ICONWARNING);
        return;
    }
    TmsMessage message;
    MakeCustomSendMessage(ShownMessage(dialog->edtFrom->text()), dialog->CharSet(),
                          dialog->Encoding(), message);
    main->CustomSendCopies(message, dialog->spnCopies->value(), mail.SMTPAddress);
}

} // namespace cfgman
