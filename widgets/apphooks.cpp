#include "widgets/apphooks.h"

#include "platform/win/hooks.h"

#include <QApplication>
#include <QMessageBox>

namespace {

// Message boxes need a user; on a platform without a screen the default
// hook writes them to stderr instead of waiting for an answer.
bool HasScreen() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    const std::unique_ptr<QMessageBox> box = MakeMessageBox(text, caption, flags);
    switch (box->exec()) {
    case QMessageBox::Cancel:
        return win::IDCANCEL;
    case QMessageBox::Yes:
        return win::IDYES;
    case QMessageBox::No:
        return win::IDNO;
    case QMessageBox::Retry:
        return win::IDRETRY;
    default:
        return win::IDOK;
    }
}

} // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(const std::string& text, const std::string& caption,
                                            unsigned flags) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
    case win::MB_ICONERROR:
        icon = QMessageBox::Critical;
        break;
    case win::MB_ICONQUESTION:
        icon = QMessageBox::Question;
        break;
    case win::MB_ICONWARNING:
        icon = QMessageBox::Warning;
        break;
    case win::MB_ICONINFORMATION:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (flags & 0x0F) {
    case win::MB_OKCANCEL:
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case win::MB_YESNO:
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    case win::MB_YESNOCANCEL:
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    case win::MB_RETRYCANCEL:
        buttons = QMessageBox::Retry | QMessageBox::Cancel;
        break;
    default:
        break;
    }
    auto box = std::make_unique<QMessageBox>(icon, QString::fromStdString(caption),
                                             QString::fromStdString(text), buttons);
    // The texts name files, addresses and subjects, which may look like markup.
    box->setTextFormat(Qt::PlainText);
    return box;
}

TAppHooks::TAppHooks() {
    win::SetPumpHook([] { QCoreApplication::processEvents(); });
    win::SetBeepHook([](unsigned) { QApplication::beep(); });
    if (HasScreen())
        win::SetMessageBoxHook(ShowMessageBox);
}

TAppHooks::~TAppHooks() {
    win::SetPumpHook({});
    win::SetMessageBoxHook({});
    win::SetBeepHook({});
}
