#include "cfgman/frmrem.h"
#include "cfgman/qtext.h"

#include "cfgman/core/preview.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace cfgman {

TfrmRem::TfrmRem(QWidget* owner) : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmRem"));
    setWindowTitle(QStringLiteral("Preview Messages on Server"));
    auto* layout = new QVBoxLayout(this);
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(rule);
    lblHelp = new QLabel(QStringLiteral("These messages are waiting on the server. Nothing has "
                                        "been retrieved from it or deleted on it."),
                         this);
    lblHelp->setWordWrap(true);
    layout->addWidget(lblHelp);
    lstMessages = new QTreeWidget(this);
    lstMessages->setRootIsDecorated(false);
    lstMessages->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstMessages->setHeaderLabels({QStringLiteral("Subject"), QStringLiteral("From"),
                                  QStringLiteral("Date"), QStringLiteral("Size")});
    lstMessages->setColumnWidth(0, 220);
    lstMessages->setColumnWidth(1, 180);
    lstMessages->setColumnWidth(2, 170);
    layout->addWidget(lstMessages, 1);
    auto* status = new QHBoxLayout;
    StatusPanel0 =
        new QLabel(QStringLiteral("Click the right mouse button to access commands"), this);
    StatusPanel0->setFixedWidth(350);
    StatusPanel1 = new QLabel(QStringLiteral("Items on server"), this);
    StatusPanel1->setMinimumWidth(50);
    for (QLabel* panel : {StatusPanel0, StatusPanel1}) {
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        status->addWidget(panel);
    }
    status->addStretch();
    layout->addLayout(status);
    resize(660, 320);
}

void TfrmRem::ShowItems(const std::vector<TPreviewItem>& items) {
    lstMessages->clear();
    for (const TPreviewItem& m : items) {
        auto* row = new QTreeWidgetItem(
            lstMessages, {Q(m.Subject), Q(m.From), Q(m.Date), QString::number(m.Size)});
        row->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    }
}

} // namespace cfgman
