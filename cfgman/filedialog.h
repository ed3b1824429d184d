#pragma once
// The dialogs of the program's commands (file open and save, print, font),
// behind hooks so tests answer them; the defaults are Qt's dialogs.
#include <QString>
#include <QStringList>
#include <functional>

class QFont;
class QPrinter;
class QWidget;

namespace cfgman {

struct TOpenDialog {
    QString Title;
    QString DefaultExt;
    // "Caption (*.ext *.ext2)" entries, in order.
    QStringList Filters;
    QString InitialDir;
};

// The chosen file's full path, or an empty string when cancelled.
using TOpenDialogHook = std::function<QString(const TOpenDialog&)>;
void SetOpenDialogHook(TOpenDialogHook hook);
[[nodiscard]] QString ExecuteOpenDialog(QWidget* parent, const TOpenDialog& dialog);

// Several existing files; empty when cancelled.
using TOpenFilesDialogHook = std::function<QStringList(const TOpenDialog&)>;
void SetOpenFilesDialogHook(TOpenFilesDialogHook hook);
[[nodiscard]] QStringList ExecuteOpenFilesDialog(QWidget* parent, const TOpenDialog& dialog);

// The name to save under (the default extension added when it has none), or
// an empty string when cancelled. The dialog asks nothing about an existing
// file: the caller does.
using TSaveDialogHook = std::function<QString(const TOpenDialog&)>;
void SetSaveDialogHook(TSaveDialogHook hook);
[[nodiscard]] QString ExecuteSaveDialog(QWidget* parent, const TOpenDialog& dialog);

// Sets up the printer; false when cancelled.
using TPrintDialogHook = std::function<bool(QPrinter&)>;
void SetPrintDialogHook(TPrintDialogHook hook);
[[nodiscard]] bool ExecutePrintDialog(QWidget* parent, QPrinter& printer);

// Starts with font and changes it on OK; false when cancelled.
using TFontDialogHook = std::function<bool(QFont&)>;
void SetFontDialogHook(TFontDialogHook hook);
[[nodiscard]] bool ExecuteFontDialog(QWidget* parent, QFont& font);

} // namespace cfgman
