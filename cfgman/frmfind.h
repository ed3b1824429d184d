#pragma once
// The find-messages window: a search text and a "Search" button that
// searches nothing.
#include <QWidget>

class QLineEdit;
class QPushButton;

namespace cfgman {

class TfrmFind : public QWidget {
    Q_OBJECT
public:
    explicit TfrmFind(QWidget* owner);

    QLineEdit* edtText = nullptr;
    QPushButton* btnSearch = nullptr;
};

} // namespace cfgman
