#include "widgets/addressdlg.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace widgets {

TMailAddressDlg::TMailAddressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Address"));
    setFixedSize(313, 129);

    Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 297, 81);
    auto* nameLabel = new QLabel(QStringLiteral("Name"), this);
    nameLabel->setGeometry(20, 24, 60, 13);
    NameEdit = new QLineEdit(this);
    NameEdit->setGeometry(84, 20, 209, 21);
    auto* addressLabel = new QLabel(QStringLiteral("Address"), this);
    addressLabel->setGeometry(20, 56, 60, 13);
    AddressEdit = new QLineEdit(this);
    AddressEdit->setGeometry(84, 52, 209, 21);
    nameLabel->setBuddy(NameEdit);
    addressLabel->setBuddy(AddressEdit);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(150, 97, 75, 25);
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setGeometry(230, 97, 75, 25);
    setTabOrder(NameEdit, AddressEdit);
    setTabOrder(AddressEdit, OKButton);
    setTabOrder(OKButton, CancelButton);
    NameEdit->setFocus();

    connect(OKButton, &QPushButton::clicked, this, [this] {
        OKButtonClick();
        done(1);
    });
    connect(CancelButton, &QPushButton::clicked, this, [this] { done(2); });
}

void TMailAddressDlg::SetMailAddress(const TmsMailAddress& address) {
    address_.Assign(address);
    NameEdit->setText(QString::fromStdString(address_.Name()));
    AddressEdit->setText(QString::fromStdString(address_.Address()));
}

namespace {

// At most 255 bytes, never ending inside a UTF-8 character.
std::string Cut255(const QString& text) {
    std::string bytes = text.toStdString();
    if (bytes.size() > 255) {
        std::size_t n = 255;
        while (n > 0 && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80)
            --n;
        bytes.resize(n);
    }
    return bytes;
}

} // namespace

void TMailAddressDlg::OKButtonClick() {
    address_.SetName(Cut255(NameEdit->text()));
    address_.SetAddress(Cut255(AddressEdit->text()));
}

bool EditMailAddress(TmsMailAddress& copy) {
    TMailAddressDlg dialog;
    dialog.SetMailAddress(copy);
    if (dialog.exec() != 1)
        return false;
    copy.Assign(dialog.MailAddress());
    return true;
}

void InstallMailAddressDlg() {
    SetMailAddressDlgHook(EditMailAddress);
}

} // namespace widgets
