#pragma once
// The mail-merge wizard: three steps shown one at a time (introduction,
// the message, the data source); it merges nothing.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace cfgman {

class TfrmMMWiz : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMMWiz(QWidget* parent = nullptr);

    [[nodiscard]] int Step() const { return step_; }
    QWidget* frameIntro = nullptr;
    QWidget* frameMessage = nullptr;
    QWidget* frameData = nullptr;
    QRadioButton* optNewMessage = nullptr;
    QRadioButton* optTemplate = nullptr;
    QLineEdit* edtDocument = nullptr;
    QRadioButton* optDBase = nullptr;
    QRadioButton* optASCII = nullptr;
    QLineEdit* edtFileName = nullptr;
    QPushButton* btnBack = nullptr;
    QPushButton* btnNext = nullptr;
    QPushButton* btnFinish = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnBrowseDocument = nullptr;
    QPushButton* btnBrowseData = nullptr;

    void btnNextClick();
    void btnBackClick();

private:
    void ShowStep();
    void Browse(QLineEdit* box, const QStringList& filters);
    int step_ = 1;
};

} // namespace cfgman
