#include "cfgman/frmpref.h"

#include "cfgman/buttonrow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <tuple>

namespace cfgman {

namespace {

QLabel* Note(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

// A labelled edit box on a form of a page.
QLineEdit* Edit(QFormLayout* form, const char* caption, QWidget* page) {
    auto* box = new QLineEdit(page);
    auto* label = new QLabel(QString::fromLatin1(caption), page);
    label->setBuddy(box);
    form->addRow(label, box);
    return box;
}

} // namespace

TfrmPref::TfrmPref(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmPref"));
    setWindowTitle(QStringLiteral("Preferences"));
    Pages = new QTabWidget(this);

    auto* connection = new QWidget;
    auto* c = new QVBoxLayout(connection);
    c->addWidget(Note(QStringLiteral("Quelta is designed to be used over a dedicated connection "
                                     "to the Internet, such as a T1 or a dedicated ISDN line. If "
                                     "you use a modem or a dial-up connection, select it below."),
                      connection));
    c->addWidget(Note(QStringLiteral("What method do you want to use to connect to the Internet?"),
                      connection));
    optLAN = new QRadioButton(QStringLiteral("I use a &LAN connection"), connection);
    optManual = new QRadioButton(QStringLiteral("I connect &manually"), connection);
    optDUN = new QRadioButton(QStringLiteral("I use &Dial-up networking"), connection);
    optLAN->setChecked(true);
    for (QRadioButton* o : {optLAN, optManual, optDUN}) {
        c->addWidget(o);
        connect(o, &QRadioButton::clicked, this, [this] { optDUNClick(); });
    }
    lblRasSpec = new QLabel(
        QStringLiteral("Please &specify a default connection for use with e-mail."), connection);
    RASComboBox = new QComboBox(connection);
    RASComboBox->setEditable(false);
    lblRasSpec->setBuddy(RASComboBox);
    c->addWidget(lblRasSpec);
    c->addWidget(RASComboBox);
    c->addStretch();
    Pages->addTab(connection, QStringLiteral("Connection"));

    auto* folders = new QWidget;
    auto* f = new QVBoxLayout(folders);
    f->addWidget(Note(QStringLiteral("The folder locations control where this Quelta system "
                                     "resides.  You could use the Configuration Manager from any "
                                     "system provided you have access to the directories."),
                      folders));
    auto* form = new QFormLayout;
    edtMessagesPath = Edit(form, "&Messages", folders);
    edtAgentsPath = Edit(form, "&Agents", folders);
    edtDatabases = Edit(form, "&Databases", folders);
    edtTemplates = Edit(form, "&Templates", folders);
    f->addLayout(form);
    f->addStretch();
    Pages->addTab(folders, QStringLiteral("Folders"));

    auto* misc = new QWidget;
    auto* m = new QVBoxLayout(misc);
    m->addWidget(Note(QStringLiteral("Miscellaneous options and settings"), misc));
    chkDisableSounds = new QCheckBox(QStringLiteral("Disable all &sound effects"), misc);
    m->addWidget(chkDisableSounds);
    m->addStretch();
    Pages->addTab(misc, QStringLiteral("Misc."));

    auto* mail = new QWidget;
    auto* ml = new QVBoxLayout(mail);
    ml->addWidget(Note(QStringLiteral("The SMTP server and the sender address that Custom Send "
                                      "uses (kept in MAIL.INI)."),
                       mail));
    auto* mailForm = new QFormLayout;
    edtSMTPAddress = Edit(mailForm, "SMTP add&ress", mail);
    edtDefaultFrom = Edit(mailForm, "De&fault From address", mail);
    ml->addLayout(mailForm);
    ml->addStretch();
    Pages->addTab(mail, QStringLiteral("Mail"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Pages);
    std::tie(btnOK, btnCancel) = AddOkCancel(this, layout);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    setFixedSize(440, 340);
}

void TfrmPref::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TfrmPref::FormShow() {
    optDUNClick();
}

void TfrmPref::optDUNClick() {
    lblRasSpec->setEnabled(optDUN->isChecked());
    RASComboBox->setEnabled(optDUN->isChecked());
}

} // namespace cfgman
