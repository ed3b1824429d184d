#include "cfgman/filedialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace cfgman {

namespace {

// One slot per dialog; the open and save hooks share a type.
enum class TSlot { Open, OpenFiles, Save, Print, Font };

template <TSlot, typename H> H& Hook() {
    static H hook;
    return hook;
}

void SetUp(QFileDialog& box, const TOpenDialog& dialog) {
    box.setNameFilters(dialog.Filters);
    box.setDefaultSuffix(dialog.DefaultExt);
}

} // namespace

void SetOpenDialogHook(TOpenDialogHook hook) {
    Hook<TSlot::Open, TOpenDialogHook>() = std::move(hook);
}

QString ExecuteOpenDialog(QWidget* parent, const TOpenDialog& dialog) {
    if (auto& hook = Hook<TSlot::Open, TOpenDialogHook>())
        return hook(dialog);
    QFileDialog box(parent, dialog.Title, dialog.InitialDir);
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setFileMode(QFileDialog::ExistingFile);
    SetUp(box, dialog);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return {};
    return QFileInfo(box.selectedFiles().first()).absoluteFilePath();
}

void SetOpenFilesDialogHook(TOpenFilesDialogHook hook) {
    Hook<TSlot::OpenFiles, TOpenFilesDialogHook>() = std::move(hook);
}

QStringList ExecuteOpenFilesDialog(QWidget* parent, const TOpenDialog& dialog) {
    if (auto& hook = Hook<TSlot::OpenFiles, TOpenFilesDialogHook>())
        return hook(dialog);
    QFileDialog box(parent, dialog.Title, dialog.InitialDir);
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setFileMode(QFileDialog::ExistingFiles);
    SetUp(box, dialog);
    if (box.exec() != QDialog::Accepted)
        return {};
    QStringList files;
    for (const QString& f : box.selectedFiles())
        files << QFileInfo(f).absoluteFilePath();
    return files;
}

void SetSaveDialogHook(TSaveDialogHook hook) {
    Hook<TSlot::Save, TSaveDialogHook>() = std::move(hook);
}

QString ExecuteSaveDialog(QWidget* parent, const TOpenDialog& dialog) {
    if (auto& hook = Hook<TSlot::Save, TSaveDialogHook>())
        return hook(dialog);
    QFileDialog box(parent, dialog.Title, dialog.InitialDir);
    box.setAcceptMode(QFileDialog::AcceptSave);
    box.setFileMode(QFileDialog::AnyFile);
    box.setOption(QFileDialog::DontConfirmOverwrite);
    SetUp(box, dialog);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return {};
    return QFileInfo(box.selectedFiles().first()).absoluteFilePath();
}

void SetPrintDialogHook(TPrintDialogHook hook) {
    Hook<TSlot::Print, TPrintDialogHook>() = std::move(hook);
}

bool ExecutePrintDialog(QWidget* parent, QPrinter& printer) {
    if (auto& hook = Hook<TSlot::Print, TPrintDialogHook>())
        return hook(printer);
    QPrintDialog box(&printer, parent);
    return box.exec() == QDialog::Accepted;
}

void SetFontDialogHook(TFontDialogHook hook) {
    Hook<TSlot::Font, TFontDialogHook>() = std::move(hook);
}

bool ExecuteFontDialog(QWidget* parent, QFont& font) {
    if (auto& hook = Hook<TSlot::Font, TFontDialogHook>())
        return hook(font);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, font, parent);
    if (ok)
        font = chosen;
    return ok;
}

} // namespace cfgman
