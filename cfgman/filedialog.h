#pragma once
// The file-open dialog of the program's commands, behind a hook so tests
// answer it; the default is Qt's dialog.
#include <QString>
#include <QStringList>
#include <functional>

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

} // namespace cfgman
