#pragma once
// "Custom Send": character set, encoding, sender and number of copies for
// sending the shown message. Made once at start-up; its fields keep their
// values for the whole run (From follows a new default from the
// preferences unless the user typed another).
#include "mail/msmsgcls.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace cfgman {

class TfrmCustomSend : public QDialog {
    Q_OBJECT
public:
    // Reads the From address from MAIL.INI.
    explicit TfrmCustomSend(QWidget* parent = nullptr);

    // The choices as the composer takes them.
    [[nodiscard]] TCharSet CharSet() const;
    [[nodiscard]] TMsgEncoding Encoding() const;

    QComboBox* cmbCharSet = nullptr;  // "US ASCII", "ISO 8859"
    QComboBox* cmbEncoding = nullptr; // "MIME", "UUEncode"
    QLineEdit* edtFrom = nullptr;
    QSpinBox* spnCopies = nullptr; // 1 to 10000
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
};

} // namespace cfgman
