#pragma once
// "Insert Merge Code": the categories of merge codes, each with what it is
// for, an example and its possible uses; the code is built from the chosen
// category and the value typed or picked.
#include <QDialog>
#include <array>
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace widgets {
class TEPRichLabel;
}

namespace cfgman {

class TfrmUpdateField : public QDialog {
    Q_OBJECT
public:
    explicit TfrmUpdateField(QWidget* parent = nullptr);

    // Hides the other panels, shows the category's own and takes its word.
    void SelectCategory(int index);
    [[nodiscard]] const std::string& Word() const { return word_; }
    // The code for the remembered category and the value edit.
    [[nodiscard]] std::string Code() const;

    struct TPanel {
        QWidget* Panel = nullptr;
        QLabel* Text = nullptr;
        widgets::TEPRichLabel* Example = nullptr;
        QTreeWidget* Uses = nullptr; // "Possible Uses"
    };
    QListWidget* lstCategories = nullptr;
    QLabel* lblHowTo = nullptr;
    std::array<TPanel, 3> Panels; // Reply to Header, System, Expression
    QLineEdit* edtValue = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void TakeUse(QTreeWidget* uses);
    void FitCategories();

    std::string word_;
};

} // namespace cfgman
