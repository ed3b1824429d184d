#pragma once
// The account properties: the account's fields, its poll schedule, its
// retrieval restrictions and its attached agents, on four tabs. The
// restrictions and attachments are stored as they are made; the account's
// fields wait for OK.
#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

class QCalendarWidget;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QTreeWidget;

namespace cfgman {

class TCfgTables;

class TfrmModify : public QDialog {
    Q_OBJECT
public:
    // The account at accountRecNo of the second accounts view.
    TfrmModify(TCfgTables& tables, std::int32_t accountRecNo, QWidget* parent = nullptr);

    QTabWidget* Tabs = nullptr;
    QWidget *TabServer = nullptr, *TabSchedule = nullptr, *TabRules = nullptr, *TabAgents = nullptr;
    QLineEdit *edtName = nullptr, *edtUserName = nullptr, *edtPassword = nullptr,
              *edtAddress = nullptr, *edtSMTPAddress = nullptr, *edtPopAddress = nullptr;
    QPlainTextEdit* MemoComments = nullptr;
    QCalendarWidget* cal = nullptr;
    QLabel* lblDateRead = nullptr;
    QLineEdit *MedtNextDate = nullptr, *MedtNextTime = nullptr;
    QSpinBox* edtMins = nullptr;
    QSlider* IntervalTrackBar = nullptr;
    QPushButton *Button3 = nullptr, *Button4 = nullptr, *Button5 = nullptr, *Button6 = nullptr,
                *Button7 = nullptr; // "Y>>", "<<Y", "<M", "M>", "Today"
    QTreeWidget* lstVRules = nullptr;
    QPushButton *btnAdd = nullptr, *btnRemove = nullptr, *btnProperties = nullptr;
    QMenu* popRules = nullptr;
    QAction *popAdd = nullptr, *popRemove = nullptr, *popProperties = nullptr;
    QLabel* lblWarning = nullptr;
    QTreeWidget* lstVAttachedAgents = nullptr;
    QPushButton *btnAttachAgent = nullptr, *btnDetatchAgent = nullptr;

    // The main window's attach and detach commands, given the account's key
    // and the chosen attachment (record number, key, caption); the buttons
    // are off while these are empty.
    std::function<void(const std::string& accountKey)> Attach;
    std::function<void(std::int32_t recNo, const std::string& key, const std::string& agent)>
        Detach;

    void FormShow();
    void FillRules();
    void FillAttachedAgents();
    void lstVRulesChange();
    void lstVAttachedAgentsChange();
    void btnAddClick();
    void btnRemoveClick();
    void btnPropertiesClick();
    void btnAttachAgentClick();
    void btnDetatchAgentClick();
    void calChange();
    void MedtNextDateChange();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void edtMinsChange();
    void IntervalTrackBarChange();

    // OK: the account's fields, checked first; false (and nothing written)
    // when a box holds what cannot be stored.
    bool Store();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Load();
    // Runs an action of the dialog; a failure goes to the program's handler.
    void Run(const std::function<void()>& body);

    TCfgTables& tables_;
    std::int32_t account_;
    std::string accountKey_;
    // The interval the box showed at opening: OK writes it only once changed.
    int loadedMinutes_ = 0;
    bool shown_ = false;
    bool syncing_ = false;
};

} // namespace cfgman
