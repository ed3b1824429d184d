#include "cfgman/frmagents.h"

#include "cfgman/buttonrow.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <tuple>

namespace cfgman {

TfrmAgents::TfrmAgents(const std::vector<std::string>& agents, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAgents"));
    setWindowTitle(QStringLiteral("Attach Agent to Account"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Select an Agent to Attach"), this));
    lstVAgents = new QListWidget(this);
    lstVAgents->setObjectName(QStringLiteral("lstVAgents"));
    lstVAgents->setViewMode(QListView::IconMode);
    lstVAgents->setResizeMode(QListView::Adjust);
    lstVAgents->setMovement(QListView::Static);
    lstVAgents->setWordWrap(true);
    lstVAgents->setGridSize(QSize(96, 64));
    const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    for (const std::string& name : agents)
        new QListWidgetItem(icon, QString::fromUtf8(name.data(), qsizetype(name.size())),
                            lstVAgents);
    layout->addWidget(lstVAgents, 1);

    std::tie(btnOK, Button2) = AddOkCancel(this, layout);
    btnOK->setEnabled(false);

    // OK waits for a choice: without one there is nothing to attach.
    connect(lstVAgents, &QListWidget::itemSelectionChanged, this,
            [this] { btnOK->setEnabled(!lstVAgents->selectedItems().isEmpty()); });
    connect(lstVAgents, &QListWidget::itemDoubleClicked, this, [this] { lstVAgentsDblClick(); });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    resize(360, 260);
}

void TfrmAgents::lstVAgentsDblClick() {
    if (!lstVAgents->selectedItems().isEmpty())
        accept();
}

void TfrmAgents::Button2Click() {
    reject();
}

std::string TfrmAgents::SelectedAgent() const {
    const QList<QListWidgetItem*> chosen = lstVAgents->selectedItems();
    return chosen.isEmpty() ? std::string() : chosen[0]->text().toUtf8().toStdString();
}

} // namespace cfgman
