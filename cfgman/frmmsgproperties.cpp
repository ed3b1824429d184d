#include "cfgman/frmmsgproperties.h"

#include "cfgman/buttonrow.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmmsgsource.h"
#include "cfgman/qtext.h"
#include "mail/msmsg.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <tuple>

namespace cfgman {

TfrmMsgProperties::TfrmMsgProperties(QWidget* parent, const TmsMessage& message,
                                     const std::string& fileName)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmMsgProperties"));
    setWindowTitle(QStringLiteral("Message Properties"));
    auto* layout = new QVBoxLayout(this);
    pages = new QTabWidget(this);
    layout->addWidget(pages, 1);

    auto* general = new QWidget;
    auto* form = new QFormLayout(general);
    edtSubject = new QLineEdit(Q(message.Subject()), general);
    edtFrom = new QLineEdit(Q(message.Sender().Address()), general);
    edtFilename = new QLineEdit(Q(fileName), general);
    // Nothing is written back, so nothing can be typed.
    for (QLineEdit* e : {edtSubject, edtFrom, edtFilename})
        e->setReadOnly(true);
    lblAttachments = new QLabel(QString::number(message.Attachments().Count()), general);
    form->addRow(QStringLiteral("Subject:"), edtSubject);
    form->addRow(QStringLiteral("From:"), edtFrom);
    form->addRow(QStringLiteral("Filename:"), edtFilename);
    form->addRow(QStringLiteral("Attachments:"), lblAttachments);
    for (const char* label : {"Size:", "Sent:", "Received:", "Encoding:", "Priority:"})
        form->addRow(QString::fromLatin1(label), new QLabel(general));
    pages->addTab(general, QStringLiteral("General"));

    auto* details = new QWidget;
    auto* v = new QVBoxLayout(details);
    v->addWidget(new QLabel(QStringLiteral("Internet headers for this message:"), details));
    memHeaders = new QPlainTextEdit(details);
    memHeaders->setReadOnly(true);
    memHeaders->setLineWrapMode(QPlainTextEdit::NoWrap);
    QStringList lines;
    for (const std::string& line : message.Headers())
        lines << Q(line);
    memHeaders->setPlainText(lines.join(QLatin1Char('\n')));
    v->addWidget(memHeaders, 1);
    btnMessageSource = new QPushButton(QStringLiteral("&Message Source..."), details);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(btnMessageSource);
    v->addLayout(row);
    pages->addTab(details, QStringLiteral("Details"));

    auto* buttons = new QHBoxLayout;
    std::tie(btnOK, btnCancel) = AddOkCancel(this, buttons);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    btnApply = new QPushButton(QStringLiteral("Apply"), this);
    btnApply->setEnabled(false);
    buttons->addWidget(btnApply);
    layout->addLayout(buttons);
    connect(btnMessageSource, &QPushButton::clicked, this, [this] {
        try {
            MessageSourceClick();
        } catch (const std::exception& e) {
            if (TfrmMain* main = frmMain())
                main->AppException(e.what());
        }
    });
    resize(420, 400);
}

void TfrmMsgProperties::MessageSourceClick() {
    auto* source = new TfrmMsgSource(this);
    try {
        source->LoadFile(S(edtFilename->text()));
    } catch (...) {
        delete source;
        throw;
    }
    source->show();
}

} // namespace cfgman
