#include "cfgman/frmcustomsend.h"

#include "cfgman/buttonrow.h"
#include "cfgman/core/mailini.h"
#include "cfgman/core/outgoing.h"
#include "cfgman/qtext.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <tuple>

namespace cfgman {

namespace {

// A group box holding one labelled field.
QGroupBox* Group(QWidget* parent, const char* caption, const char* label, QWidget* field) {
    auto* box = new QGroupBox(QString::fromLatin1(caption), parent);
    auto* form = new QFormLayout(box);
    form->addRow(QString::fromLatin1(label), field);
    return box;
}

} // namespace

TfrmCustomSend::TfrmCustomSend(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmCustomSend"));
    setWindowTitle(QStringLiteral("Custom Send"));
    auto* layout = new QVBoxLayout(this);

    cmbCharSet = new QComboBox(this);
    cmbCharSet->addItems({QStringLiteral("US ASCII"), QStringLiteral("ISO 8859")});
    cmbEncoding = new QComboBox(this);
    cmbEncoding->addItems({QStringLiteral("MIME"), QStringLiteral("UUEncode")});
    edtFrom = new QLineEdit(this);
    edtFrom->setObjectName(QStringLiteral("edtFrom"));
    spnCopies = new QSpinBox(this);
    spnCopies->setRange(1, kMaxCopies);
    spnCopies->setValue(1);
    layout->addWidget(Group(this, "Character Set", "Character Set:", cmbCharSet));
    layout->addWidget(Group(this, "Encoding", "Encoding:", cmbEncoding));
    layout->addWidget(Group(this, "From", "From:", edtFrom));
    layout->addWidget(Group(this, "Copies", "Number of Copies:", spnCopies));

    std::tie(btnOK, btnCancel) = AddOkCancel(this, layout);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    edtFrom->setText(Q(ReadMailIni().DefaultFromAddress));
    cmbCharSet->setCurrentIndex(0);
    cmbEncoding->setCurrentIndex(0);
}

TCharSet TfrmCustomSend::CharSet() const {
    return cmbCharSet->currentIndex() == 1 ? csISO8859 : csUSASCII;
}

TMsgEncoding TfrmCustomSend::Encoding() const {
    return cmbEncoding->currentIndex() == 1 ? meUU : meMIME;
}

} // namespace cfgman
