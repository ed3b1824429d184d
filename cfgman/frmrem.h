#pragma once
// The preview of the messages waiting on an account's POP3 server: one row
// per message with its subject, sender, date and size. Nothing on the server
// is fetched, deleted or marked.
#include <QWidget>
#include <vector>

class QLabel;
class QTreeWidget;

namespace cfgman {

struct TPreviewItem;

class TfrmRem : public QWidget {
    Q_OBJECT
public:
    explicit TfrmRem(QWidget* owner);

    QLabel* lblHelp = nullptr;
    QTreeWidget* lstMessages = nullptr;
    QLabel* StatusPanel0 = nullptr; // 350 pixels
    QLabel* StatusPanel1 = nullptr; // 50 pixels: "Items on server"

    void ShowItems(const std::vector<TPreviewItem>& items);
};

} // namespace cfgman
