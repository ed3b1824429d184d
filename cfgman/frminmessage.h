#pragma once
// The window of a received message ("Received Message"): shows it, and
// offers Reply, Forward and Handling, which writes the message's received
// row back.
#include "cfgman/frmmessageeditor.h"

#include <cstdint>

namespace widgets {
class TExplorerButton;
}

namespace cfgman {

class TfrmMessage;
struct TShownMessage;

class TfrmInMessage : public TMessageEditor {
    Q_OBJECT
public:
    explicit TfrmInMessage(QWidget* parent = nullptr);

    // The received row this window's message belongs to: its record number
    // and bare FILENAME.
    void SetReceivedRow(std::int32_t recNo, const std::string& fileName);
    [[nodiscard]] std::int32_t RecNo() const { return lblRecNo; }

    void SetMailMessage(const TmsMessage& message) override;
    bool ConfirmSaveChanges() override;
    // A text or RTF file's text into the body.
    void FileOpen() override;
    void FileSave() override;
    void FileSaveAs() override;
    // The font dialog on the selection's font.
    void SelectFont();

    // New editor windows from this one's account; shown.
    TfrmMessage* Reply();
    TfrmMessage* Forward();
    // A new editor, shown, ready to forward a message of the account: its
    // subject after "Forward from " and the account, its body.
    static TfrmMessage* ForwardEditor(QWidget* parent, const std::string& id,
                                      const std::string& name, const std::string& address,
                                      const QString& subject, const QStringList& body);
    // Writes the entries back into the received row and closes the window.
    void Handling();
    // The custom-send dialog, then the shown message with its choices to
    // MAIL.INI's SMTP server.
    void CustomSend1Click();

    std::int32_t lblRecNo = 0;
    std::string lblFilename;

    QLabel* lblRecipients = nullptr;
    QLineEdit* edtRecipients = nullptr;
    QLabel* lblCC = nullptr;
    QLineEdit* edtCC = nullptr;
    widgets::TExplorerButton* btnHandling = nullptr;
    // The drop-down beside it with Reply and Forward.
    widgets::TExplorerButton* btnHandlingMenu = nullptr;
    QMenu* HandlingMenu = nullptr;
    QAction *ReplyItem = nullptr, *ForwardItem = nullptr;
    QAction *FileSaveMessage = nullptr, *FileCustomSend = nullptr, *FileProperties = nullptr;

protected:
    void LayoutHeader() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static TfrmMessage* NewEditor(QWidget* parent, const std::string& id, const std::string& name,
                                  const std::string& address, const QString& subject);
    // Copies the body and subject entries into the message.
    void CopyEdits();
    // The entries, body and attachment files as Custom Send sends them.
    [[nodiscard]] TShownMessage ShownMessage(const QString& from) const;
    void WriteFile(const std::string& path) override;
};

} // namespace cfgman
