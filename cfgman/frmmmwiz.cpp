#include "cfgman/frmmmwiz.h"

#include "cfgman/filedialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace cfgman {

namespace {

QWidget* Frame(QWidget* parent, const QString& title, const QString& text, QVBoxLayout*& body) {
    auto* frame = new QWidget(parent);
    body = new QVBoxLayout(frame);
    auto* heading = new QLabel(title, frame);
    QFont f = heading->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 3);
    heading->setFont(f);
    body->addWidget(heading);
    auto* note = new QLabel(text, frame);
    note->setWordWrap(true);
    body->addWidget(note);
    return frame;
}

} // namespace

TfrmMMWiz::TfrmMMWiz(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmMMWiz"));
    setWindowTitle(QStringLiteral("Mail Merge Wizard"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    QVBoxLayout* body = nullptr;

    frameIntro = Frame(this, QStringLiteral("Mail Merge Wizard"),
                       QStringLiteral("This wizard merges a message with a list of recipients "
                                      "taken from a data source."),
                       body);
    body->addStretch();

    frameMessage = Frame(this, QStringLiteral("Mail Message"),
                         QStringLiteral("Choose the message to merge."), body);
    optNewMessage = new QRadioButton(QStringLiteral("A new message"), frameMessage);
    optTemplate = new QRadioButton(QStringLiteral("A previous template"), frameMessage);
    optNewMessage->setChecked(true);
    edtDocument = new QLineEdit(frameMessage);
    btnBrowseDocument = new QPushButton(QStringLiteral("&Browse"), frameMessage);
    auto* doc = new QHBoxLayout;
    doc->addWidget(edtDocument, 1);
    doc->addWidget(btnBrowseDocument);
    body->addWidget(optNewMessage);
    body->addWidget(optTemplate);
    body->addLayout(doc);
    body->addStretch();

    frameData = Frame(this, QStringLiteral("Data Source"),
                      QStringLiteral("Choose where the recipients come from."), body);
    optDBase = new QRadioButton(QStringLiteral("dBase III+ table"), frameData);
    optASCII = new QRadioButton(QStringLiteral("ASCII comma-quote-delimited file"), frameData);
    optDBase->setChecked(true);
    edtFileName = new QLineEdit(frameData);
    btnBrowseData = new QPushButton(QStringLiteral("&Browse"), frameData);
    auto* data = new QHBoxLayout;
    data->addWidget(edtFileName, 1);
    data->addWidget(btnBrowseData);
    body->addWidget(optDBase);
    body->addWidget(optASCII);
    body->addLayout(data);
    body->addStretch();

    for (QWidget* f : {frameIntro, frameMessage, frameData})
        layout->addWidget(f, 1);

    btnBack = new QPushButton(QStringLiteral("&Back"), this);
    btnNext = new QPushButton(QStringLiteral("&Next"), this);
    btnFinish = new QPushButton(QStringLiteral("&Finish"), this);
    btnFinish->setVisible(false);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {btnBack, btnNext, btnFinish, btnCancel})
        buttons->addWidget(b);
    layout->addLayout(buttons);

    connect(btnNext, &QPushButton::clicked, this, [this] { btnNextClick(); });
    connect(btnBack, &QPushButton::clicked, this, [this] { btnBackClick(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnBrowseDocument, &QPushButton::clicked, this, [this] {
        Browse(edtDocument, {QStringLiteral("Rich Text (*.rtf)"), QStringLiteral("All Files (*)")});
    });
    connect(btnBrowseData, &QPushButton::clicked, this, [this] {
        Browse(edtFileName, {QStringLiteral("dBase III+ (*.dbf)"),
                             QStringLiteral("ASCII Comma Delimited (*.txt *.asc *.csv)"),
                             QStringLiteral("All Files (*)")});
    });
    resize(460, 300);
    ShowStep();
}

void TfrmMMWiz::ShowStep() {
    frameIntro->setVisible(step_ == 1);
    frameMessage->setVisible(step_ == 2);
    frameData->setVisible(step_ == 3);
}

void TfrmMMWiz::btnNextClick() {
    ++step_;
    ShowStep();
}

void TfrmMMWiz::btnBackClick() {
    if (step_ > 1)
        --step_;
    ShowStep();
}

void TfrmMMWiz::Browse(QLineEdit* box, const QStringList& filters) {
    const QString chosen = ExecuteOpenDialog(this, {QString(), QString(), filters, QString()});
    // A cancelled dialog keeps what the box held.
    if (!chosen.isEmpty())
        box->setText(chosen);
}

} // namespace cfgman
