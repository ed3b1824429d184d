#pragma once
// The editor of outgoing messages and auto-reply templates ("New Message"):
// open and save .eml files, print, attachments by dialog or dropped from
// the desktop.
#include "cfgman/frmmessageeditor.h"

class QLabel;

namespace cfgman {

class TfrmMessage : public TMessageEditor {
    Q_OBJECT
public:
    explicit TfrmMessage(QWidget* parent = nullptr);
    ~TfrmMessage() override;

    // Also makes the file the one Save writes to.
    void OpenMessageFile(const std::string& path) override;

    bool ConfirmSaveChanges() override;
    void FileOpen() override;
    void FileSave() override;
    void FileSaveAs() override;
    // Copies the window's fields into its message.
    void PopulateTMessageObject();
    // Adds a row per file, tied to its full path.
    void DropFiles(const QStringList& paths);
    void NewAttachments();
    void RemoveAttachments();
    // The merge-code inserter; its code goes in at the caret.
    void F1Click();
    // Writes the window's message with its merge codes filled as the
    // preview fills them into "Temp.eml" of the program folder and opens it.
    void MergePreview1Click();
    // Pastes text at the caret through the clipboard, which then holds what
    // it held before.
    void InsertAtCaret(const QString& text);

    // The file Save writes to ("" or "Untitled": Save asks for a name).
    std::string lblFilename;
    // The example message of the merge preview.
    TmsMessage msIncomingMessage;

    QLabel* imgPicture = nullptr;
    QMenu *mnuInsert = nullptr, *PopupBody = nullptr, *PopupAttach = nullptr;
    QAction* MergeCode = nullptr;    // "&Merge Code..."
    QAction* MergePreview = nullptr; // "Merge Preview..." (hidden)
    QAction* HelpTemplates = nullptr;
    QAction *NewAttachment = nullptr, *RemoveAttachment = nullptr;

protected:
    void LayoutHeader() override;
    bool BodyKey(QKeyEvent* key) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void WriteFile(const std::string& path) override;
};

} // namespace cfgman
