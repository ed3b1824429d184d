#include "cfgman/filedialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace cfgman {

namespace {

TOpenDialogHook& Hook() {
    static TOpenDialogHook hook;
    return hook;
}

} // namespace

void SetOpenDialogHook(TOpenDialogHook hook) {
    Hook() = std::move(hook);
}

QString ExecuteOpenDialog(QWidget* parent, const TOpenDialog& dialog) {
    if (Hook())
        return Hook()(dialog);
    QFileDialog box(parent, dialog.Title, dialog.InitialDir);
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setFileMode(QFileDialog::ExistingFile);
    box.setNameFilters(dialog.Filters);
    box.setDefaultSuffix(dialog.DefaultExt);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return {};
    return QFileInfo(box.selectedFiles().first()).absoluteFilePath();
}

} // namespace cfgman
