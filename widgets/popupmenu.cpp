#include "widgets/popupmenu.h"

namespace widgets {

TPopupMenu::TPopupMenu(QWidget* parent) : QMenu(parent) {}

} // namespace widgets
