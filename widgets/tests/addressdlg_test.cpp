// The address dialog as the mail library's editor: OK takes the edits
// (cut to 255 bytes on a character boundary), Cancel keeps the address.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "widgets/addressdlg.h"

namespace widgets {
namespace {

// Runs `act` on the dialog once it is shown modally.
void WhenShown(std::function<void(TMailAddressDlg&)> act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<TMailAddressDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
}

TEST(AddressDialog, EditThroughTheMailLibrary) {
    InstallMailAddressDlg();
    TmsMailAddress address("ann@example.org", "Ann");

    WhenShown([](TMailAddressDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Address");
        EXPECT_EQ(dialog.NameEdit->text(), "Ann");
        EXPECT_EQ(dialog.AddressEdit->text(), "ann@example.org");
        EXPECT_TRUE(dialog.OKButton->isDefault());
        dialog.NameEdit->setText("Ann B.");
        dialog.AddressEdit->setText("ann.b@example.org");
        dialog.OKButton->click();
    });
    address.Edit();
    EXPECT_EQ(address.Name(), "Ann B.");
    EXPECT_EQ(address.Address(), "ann.b@example.org");

    WhenShown([](TMailAddressDlg& dialog) {
        dialog.NameEdit->setText("Nobody");
        dialog.CancelButton->click();
    });
    address.Edit();
    EXPECT_EQ(address.Name(), "Ann B.");

    WhenShown([](TMailAddressDlg& dialog) {
        dialog.NameEdit->setText(QString(254, 'a') + QString::fromUtf8("\xC3\xA9"));
        dialog.AddressEdit->setText(QString(300, 'b'));
        dialog.OKButton->click();
    });
    address.Edit();
    EXPECT_EQ(address.Name(), std::string(254, 'a'));
    EXPECT_EQ(address.Address(), std::string(255, 'b'));
    SetMailAddressDlgHook(nullptr);
}

} // namespace
} // namespace widgets
