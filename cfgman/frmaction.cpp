#include "cfgman/frmaction.h"

#include "cfgman/buttonrow.h"

#include "cfgman/core/settings.h"
#include "cfgman/filedialog.h"
#include "cfgman/frmmain.h"
#include "cfgman/qtext.h"
#include "platform/win/hooks.h"

#include <QAction>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>

#include <tuple>

namespace cfgman {

namespace {

// The panels of the stack, in the order they are made.
enum Panel { pNone, pAutoReply, pDelay, pForward, pLaunch, pSound, pRedirect, pScript, pShutDown };

struct Entry {
    const char* caption;
    Panel panel;
};

// The list as it is shown; the name written is the caption in upper case.
constexpr Entry kEntries[] = {
    {"Auto-Reply", pAutoReply},       {"Close Quelta", pNone},
    {"Delay the Agent", pDelay},      {"Forward To", pForward},
    {"Launch Program", pLaunch},      {"Play Sound", pSound},
    {"Redirect To", pRedirect},       {"Remove from further agent processing", pNone},
    {"Run an queltaScript", pScript}, {"Shut down Windows", pShutDown},
};

constexpr int kPanelRole = Qt::UserRole;

// A panel with its heading; its controls go into body.
QWidget* MakePanel(QStackedWidget* stack, const QString& heading, QVBoxLayout*& body) {
    auto* panel = new QWidget(stack);
    auto* outer = new QVBoxLayout(panel);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* frame = new QGroupBox(heading, panel);
    body = new QVBoxLayout(frame);
    outer->addWidget(frame);
    outer->addStretch();
    stack->addWidget(panel);
    return panel;
}

// A path box with its browse button, and maybe a button beside them.
QLineEdit* PathRow(QWidget* parent, QVBoxLayout* body, const QString& browseText,
                   QPushButton*& browse) {
    auto* row = new QHBoxLayout;
    auto* box = new QLineEdit(parent);
    browse = new QPushButton(browseText, parent);
    browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
    row->addWidget(box, 1);
    row->addWidget(browse);
    body->addLayout(row);
    return box;
}

QLineEdit* LabelledBox(QWidget* parent, QVBoxLayout* body, const QString& label) {
    auto* text = new QLabel(label, parent);
    auto* box = new QLineEdit(parent);
    text->setBuddy(box);
    body->addWidget(text);
    body->addWidget(box);
    return box;
}

QRadioButton* Choice(QWidget* parent, QVBoxLayout* body, QButtonGroup* group, const QString& text) {
    auto* b = new QRadioButton(text, parent);
    group->addButton(b);
    body->addWidget(b);
    return b;
}

} // namespace

TfrmAction::TfrmAction(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAction"));
    setWindowTitle(QStringLiteral("Add Action"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    layout->addLayout(top, 1);

    lstVActions = new QListWidget(this);
    lstVActions->setObjectName(QStringLiteral("lstVActions"));
    lstVActions->setSelectionMode(QAbstractItemView::SingleSelection);
    // The chosen entry stays marked while the focus is in its panel.
    QPalette pal = lstVActions->palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    lstVActions->setPalette(pal);
    for (const Entry& e : kEntries) {
        auto* item = new QListWidgetItem(QString::fromLatin1(e.caption), lstVActions);
        item->setData(kPanelRole, int(e.panel));
    }
    lstVActions->setSortingEnabled(true);
    lstVActions->sortItems();
    // Wide enough for the longest caption in the font it has.
    lstVActions->setFixedWidth(
        std::max(214, lstVActions->sizeHintForColumn(0) + 2 * lstVActions->frameWidth() + 8));
    top->addWidget(lstVActions);

    panels = new QStackedWidget(this);
    panels->setObjectName(QStringLiteral("panels"));
    top->addWidget(panels, 1);
    QVBoxLayout* body = nullptr;

    panels->addWidget(new QWidget(panels)); // the actions without parameters

    QWidget* p = MakePanel(panels, QStringLiteral("Reply with:"), body);
    edtTemplate = PathRow(p, body, QStringLiteral("..."), btnTemplate);
    btnNewTemplate = new QPushButton(QStringLiteral("&Create New"), p);
    body->addWidget(btnNewTemplate, 0, Qt::AlignLeft);

    p = MakePanel(panels, QStringLiteral("Delay the Agent"), body);
    auto* delay = new QHBoxLayout;
    auto* delayFor = new QLabel(QStringLiteral("Delay for"), p);
    spnDelay = new QSpinBox(p);
    spnDelay->setRange(0, int(quelta::kMaxAgentDelay));
    spnDelay->setValue(1);
    delayFor->setBuddy(spnDelay);
    delay->addWidget(delayFor);
    delay->addWidget(spnDelay);
    delay->addWidget(new QLabel(QStringLiteral("Seconds"), p));
    delay->addStretch();
    body->addLayout(delay);

    p = MakePanel(panels, QStringLiteral("Forward To:"), body);
    edtForward = LabelledBox(p, body, QStringLiteral("&Forward to e-mail address(s)"));

    p = MakePanel(panels, QStringLiteral("Launch Program"), body);
    auto* commandLabel = new QLabel(QStringLiteral("Please enter the &command line to run"), p);
    body->addWidget(commandLabel);
    edtCommandLine = PathRow(p, body, QStringLiteral(".."), btnProgram);
    commandLabel->setBuddy(edtCommandLine);
    auto* states = new QButtonGroup(p);
    optNormal = Choice(p, body, states, QStringLiteral("&Normal"));
    optMinimized = Choice(p, body, states, QStringLiteral("&Minimized"));
    optMaximized = Choice(p, body, states, QStringLiteral("Ma&ximized"));
    optHidden = Choice(p, body, states, QStringLiteral("&Hidden"));
    optNormal->setChecked(true);

    p = MakePanel(panels, QStringLiteral("Play Sound"), body);
    auto* soundLabel = new QLabel(QStringLiteral("Please select the .&WAV file to play"), p);
    body->addWidget(soundLabel);
    edtSound = PathRow(p, body, QStringLiteral("..."), btnSound);
    soundLabel->setBuddy(edtSound);

    p = MakePanel(panels, QStringLiteral("Redirect To:"), body);
    edtRedirect = LabelledBox(p, body, QStringLiteral("&Redirect to e-mail address(s)"));

    p = MakePanel(panels, QStringLiteral("Run an QueltaBasic Script"), body);
    edtScript = PathRow(p, body, QStringLiteral("..."), btnScript);
    btnNewScript = new QPushButton(QStringLiteral("Create New..."), p);
    body->addWidget(btnNewScript, 0, Qt::AlignLeft);

    p = MakePanel(panels, QStringLiteral("Shut Down Windows"), body);
    auto* ways = new QButtonGroup(p);
    optForce = Choice(p, body, ways, QStringLiteral("Shutdown By &Force"));
    optLogOff = Choice(p, body, ways, QStringLiteral("&Log Off Current User"));
    optPowerOff = Choice(p, body, ways, QStringLiteral("&Power Off (If Supported)"));
    optReboot = Choice(p, body, ways, QStringLiteral("&Reboot"));
    optShutdown = Choice(p, body, ways, QStringLiteral("Normal &Shutdown"));
    optForce->setChecked(true);

    std::tie(Button3, btnCancel) = AddOkCancel(this, layout);

    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lstVActions, &QListWidget::itemSelectionChanged, this, [this] { lstVActionsChange(); });
    connect(btnTemplate, &QPushButton::clicked, this, [this] {
        Browse(edtTemplate, QStringLiteral("EML"),
               {QStringLiteral("E-Mail Messages (*.eml)"), QStringLiteral("All Files (*)")},
               Q(Folders().TemplatesPath()));
    });
    connect(btnProgram, &QPushButton::clicked, this, [this] {
        Browse(edtCommandLine, QStringLiteral("exe"),
               {QStringLiteral("Application files (*.exe)"), QStringLiteral("All Files (*)")}, {});
    });
    connect(btnSound, &QPushButton::clicked, this, [this] {
        Browse(edtSound, QStringLiteral("wav"),
               {QStringLiteral("WAV Files (*.wav)"), QStringLiteral("All Files (*)")}, {});
    });
    connect(btnScript, &QPushButton::clicked, this, [this] {
        Browse(edtScript, QStringLiteral("bas"),
               {QStringLiteral("queltaBasic Scripts (*.bas)"), QStringLiteral("All Files (*)")},
               {});
    });
    // The main window's commands for a new template and a new script.
    connect(btnNewTemplate, &QPushButton::clicked, this, [] {
        if (TfrmMain* main = frmMain())
            main->NewTemplate1->trigger();
    });
    connect(btnNewScript, &QPushButton::clicked, this, [] {
        if (TfrmMain* main = frmMain())
            main->Command([main] { main->e2Click(); });
    });
    resize(560, 300);
    lstVActionsChange();
}

void TfrmAction::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TfrmAction::FormShow() {
    lstVActions->setCurrentRow(0);
    // A template is made by the main window's command once it has one.
    TfrmMain* main = frmMain();
    btnNewTemplate->setEnabled(main && main->NewTemplate1->isEnabled());
}

void TfrmAction::lstVActionsChange() {
    const QList<QListWidgetItem*> chosen = lstVActions->selectedItems();
    panels->setCurrentIndex(chosen.isEmpty() ? pNone : chosen[0]->data(kPanelRole).toInt());
}

void TfrmAction::Button3Click() {
    const QList<QListWidgetItem*> chosen = lstVActions->selectedItems();
    QString first, second;
    if (!chosen.isEmpty()) {
        switch (Panel(chosen[0]->data(kPanelRole).toInt())) {
        case pAutoReply:
            first = edtTemplate->text();
            break;
        case pForward:
            first = edtForward->text();
            break;
        case pRedirect:
            first = edtRedirect->text();
            break;
        case pScript:
            first = edtScript->text();
            break;
        case pSound:
            first = edtSound->text();
            break;
        case pLaunch:
            first = edtCommandLine->text();
            second = optMinimized->isChecked()   ? QStringLiteral("MINIMIZED")
                     : optMaximized->isChecked() ? QStringLiteral("MAXIMIZED")
                     : optHidden->isChecked()    ? QStringLiteral("HIDDEN")
                                                 : QStringLiteral("NORMAL");
            break;
        case pDelay:
            first = QString::number(spnDelay->value());
            break;
        case pShutDown:
            first = optLogOff->isChecked()     ? QStringLiteral("LOGOFF")
                    : optPowerOff->isChecked() ? QStringLiteral("POWEROFF")
                    : optReboot->isChecked()   ? QStringLiteral("REBOOT")
                    : optShutdown->isChecked() ? QStringLiteral("SHUTDOWN")
                                               : QStringLiteral("FORCE");
            break;
        case pNone:
            first = chosen[0]->text() == QLatin1String("Close Quelta") ? QStringLiteral("CLOSE")
                                                                       : QStringLiteral("REMOVE");
            break;
        }
    }
    // No entry chosen is an action without its parameter too.
    if (first.isEmpty()) {
        win::MessageBox("Please specify parameters.", "Quelta Mail Management System", win::MB_OK);
        return;
    }
    caption_ = chosen[0]->text();
    action_ = {quelta::UpperAZ(S(caption_)), S(first), S(second)};
    accept();
}

void TfrmAction::Browse(QLineEdit* box, const QString& defaultExt, const QStringList& filters,
                        const QString& initialDir) {
    const QString chosen = ExecuteOpenDialog(this, {QString(), defaultExt, filters, initialDir});
    if (!chosen.isEmpty())
        box->setText(chosen);
}

} // namespace cfgman
