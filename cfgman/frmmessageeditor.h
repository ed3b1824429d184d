#pragma once
// The design both message windows share: a header strip with entry fields
// shown as labels until clicked, a plain-text body, and under it, in the
// second pane of a two-pane splitter, the attachment list. Each window
// holds a message of its own; the attachments of a message it shows are
// written into a private folder of the window, removed when it goes.
#include "cfgman/core/attachfolder.h"
#include "mail/msmsg.h"

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QTextEdit;

namespace widgets {
class TTwoWaySplitter;
}

namespace cfgman {

class TEditRuler;
class TFormatBar;

class TMessageEditor : public QMainWindow {
    Q_OBJECT
public:
    ~TMessageEditor() override;

    // The window's own message.
    TmsMessage msMessage1;

    // Shows the message: body, subject and caption, and its attachments,
    // written into the window's folder.
    virtual void SetMailMessage(const TmsMessage& message);
    // Opens the window on a message file: loads it into the window's own
    // message, shown when the window shows, with the file as current file.
    // A file that cannot be read raises and leaves the window empty and
    // bound to no file.
    virtual void OpenMessageFile(const std::string& path);
    // The path saves go to; the caption becomes its name and the title.
    void SetCurrentFileName(const std::string& name);
    [[nodiscard]] const std::string& CurrentFileName() const { return currentFile_; }
    // Asks about unsaved changes; false when the user cancelled.
    virtual bool ConfirmSaveChanges() = 0;
    virtual void FileOpen() = 0;
    virtual void FileSave() = 0;
    virtual void FileSaveAs() = 0;
    // The print dialog, then the body, with the current file as job title.
    void FilePrint();

    // The hidden sender fields: account id, name and address.
    void SetSenderFields(const std::string& id, const std::string& name,
                         const std::string& address);
    [[nodiscard]] const std::string& FromId() const { return fromId_; }
    [[nodiscard]] const std::string& FromName() const { return fromName_; }
    [[nodiscard]] const std::string& FromAddress() const { return fromAddress_; }

    // 10 while the window shows an existing message, 99 once it closed.
    [[nodiscard]] int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }

    // The body's modified flag: the window's unsaved changes.
    [[nodiscard]] bool Modified() const;
    void SetModified(bool on);
    [[nodiscard]] QStringList BodyLines() const;
    // A message's text: bytes in the named character set ("" for none),
    // else UTF-8, else Latin-1.
    [[nodiscard]] static QString DecodeText(const std::string& bytes, const std::string& charset);
    void SetBodyLines(const QStringList& lines);
    // Shows the subject's edit field and focuses it.
    void OpenSubjectEntry();
    // Shows an entry's edit field over its label and focuses it.
    void OpenEntry(QLineEdit* edit);
    void SetSubject(const QString& subject);
    [[nodiscard]] QString Subject() const;

    // The attachment rows' files, in row order.
    [[nodiscard]] std::vector<std::string> AttachmentPaths() const;
    // The folder a shown message's attachments were written into ("" before).
    [[nodiscard]] const std::string& AttachmentFolder() const { return folder_.Path(); }
    [[nodiscard]] bool SplitterLocked() const { return locked_; }

    QWidget* pnlHeader = nullptr;
    QLabel* lblSubject = nullptr;
    QLineEdit* edtSubject = nullptr;
    QTextEdit* REBody = nullptr;
    widgets::TTwoWaySplitter* Splitter = nullptr;
    QListWidget* lstVAttach = nullptr;
    TFormatBar* FormatBar = nullptr;
    TEditRuler* Ruler = nullptr;

    QMenu *mnuFile = nullptr, *mnuEdit = nullptr, *mnuView = nullptr, *mnuHelp = nullptr;
    QAction *FileOpenItem = nullptr, *FileSaveItem = nullptr, *FileSaveAsItem = nullptr;
    QAction *FilePrintItem = nullptr, *FileCloseItem = nullptr;
    QAction *EditUndo = nullptr, *EditCut = nullptr, *EditCopy = nullptr, *EditPaste = nullptr;
    QAction* EditSelectAll = nullptr;
    QAction *ViewToolBar = nullptr, *ViewStatusBar = nullptr;

protected:
    TMessageEditor(QWidget* parent, const char* objectName, const char* caption);

    // An entry field: a label until clicked, then an edit over it.
    struct TEntry {
        QLabel* Label;
        QLineEdit* Edit;
    };
    TEntry AddEntry(const char* name, const char* prompt, const char* hint);
    void HideEntries();

    // Rows: the caption, tied to the path's place in the path list.
    void AddAttachmentRow(const QString& caption, const std::string& path);
    void ClearAttachmentRows();
    // Bar at 70 and free with rows, at 100 and locked without.
    void UpdateSplitter();

    // Texts of the shown message, in its character set.
    [[nodiscard]] QString Decode(const std::string& bytes) const;
    // The character set the window's texts are written in ("" to keep the
    // message's own), and the texts in it.
    [[nodiscard]] std::string ChooseCharset(const QStringList& texts) const;
    [[nodiscard]] std::string Encode(const QString& text, const std::string& charset) const;

    // A command of the window: a failure goes to the program's error handler
    // and the window stays open.
    void Command(const std::function<void()>& body);
    QAction* Item(QMenu* menu, const char* text, const std::function<void()>& handler);
    // Undo, Cut, Copy, Paste and Select All; selectAll runs for the last.
    void BuildEditMenu(const std::function<void()>& selectAll);
    // "&ToolBar" and "Status Bar", checked, without action.
    void BuildViewMenu();
    // Cut, copy or paste on the focused control.
    enum class TClip { Cut, Copy, Paste };
    void Clipboard(TClip what);
    // Writes the window's message to the file.
    virtual void WriteFile(const std::string& path) = 0;
    // The save dialog (filter "E-Mail Files", from the templates folder) and
    // the overwrite question; writes the file and makes it the current one.
    // False when nothing was written.
    bool SaveAsDialog();
    // Places the header's children for the window's width.
    virtual void LayoutHeader() = 0;
    // The body got the focus.
    virtual void BodyEntered();
    // A key the body may take for the window (Shift+Tab); true when taken.
    virtual bool BodyKey(QKeyEvent* key);

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    std::vector<std::string> lstAtt; // full paths; rows hold their index
    TAttachmentFolder folder_;
    std::vector<TEntry> entries_;
    std::string currentFile_;
    std::string fromId_, fromName_, fromAddress_;
    std::string charset_;
    int tag_ = 0;
    bool shown_ = false;
    bool locked_ = true;
};

} // namespace cfgman
