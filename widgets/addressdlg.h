#pragma once
// The mail address dialog: name and address of one TmsMailAddress, OK and
// Cancel. InstallMailAddressDlg makes it the editor that
// TmsMailAddress::Edit shows.
#include <QDialog>

#include "mail/msmsgcls.h"

class QLineEdit;
class QPushButton;
class QFrame;

namespace widgets {

class TMailAddressDlg : public QDialog {
    Q_OBJECT
public:
    explicit TMailAddressDlg(QWidget* parent = nullptr);

    // The dialog's own copy; setting it fills the two edits.
    [[nodiscard]] const TmsMailAddress& MailAddress() const { return address_; }
    void SetMailAddress(const TmsMailAddress& address);

    QFrame* Bevel1;
    QLineEdit* NameEdit;
    QLineEdit* AddressEdit;
    QPushButton* OKButton;
    QPushButton* CancelButton;

private:
    void OKButtonClick();

    TmsMailAddress address_;
};

// Shows the dialog modally on the copy; true (and the copy changed) when it
// closed with OK.
bool EditMailAddress(TmsMailAddress& copy);
// Sets EditMailAddress into the mail library.
void InstallMailAddressDlg();

} // namespace widgets
