#pragma once
// The software-update wizard: its pages describe checking for a newer
// version; nothing is checked or downloaded.
#include <QDialog>

namespace widgets {
class TEPWizard;
}

namespace cfgman {

class TfrmUpdate : public QDialog {
    Q_OBJECT
public:
    explicit TfrmUpdate(QWidget* parent = nullptr);

    widgets::TEPWizard* Wizard = nullptr;
};

} // namespace cfgman
