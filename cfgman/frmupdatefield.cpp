#include "cfgman/frmupdatefield.h"

#include "cfgman/buttonrow.h"
#include "cfgman/core/templates.h"
#include "cfgman/qtext.h"
#include "widgets/richlabel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <tuple>

namespace cfgman {

namespace {

struct TCategory {
    const char* Caption;
    const char* Text;
    const char* Example; // RTF
    std::array<const char*, 5> Uses;
};

const std::array<TCategory, 3> kCategories = {{
    {"Reply to Header",
     "Use the Reply to commands to assist you in personalizing a message that wil be an automatic "
     "reply message.  You can take any of the header fields from the message that is being "
     "\"replied to\" and insert it into the new message.",
     "{\\rtf1\\ansi {\\b Example:} a reply whose greeting line reads\\par "
     "{\\b Dear <<REPLYHEADER~FROMNAME>>,}\\par "
     "greets the sender by the name in the From field of the message it answers: "
     "Dear John Smith,}",
     {"Subject", "FromName", "Date", "To", "CC"}},
    {"System",
     "Use the system commands  to assist you in adding various thing such as information about "
     "the current account being processed.",
     "{\\rtf1\\ansi {\\b Example:} {\\b <<SYSTEM~CURRENTNODEADDRESS>>} is replaced by the e-mail "
     "address of the account being processed.}",
     {"CURRENTNODE", "CURRENTNODEADDRESS", nullptr, nullptr, nullptr}},
    {"Expression",
     "Use the Expression merge codes to incorperate values into your message that are generated "
     "from QueltaBasic code.  You may use math calculations, String manipulation, etc. Even "
     "custom Quelta object expressions are allowed.  See help for more detail. ",
     "{\\rtf1\\ansi {\\b Example:} {\\b <<EXPRESSION~DATE() + 5>>} is replaced by the date five "
     "days from today.}",
     {"date()", "str(1+3)", "CurrentMessage.Subject", nullptr, nullptr}},
}};

} // namespace

TfrmUpdateField::TfrmUpdateField(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmUpdateField"));
    setWindowTitle(QStringLiteral("Insert Merge Code"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);

    auto* layout = new QGridLayout(this);
    auto* lblCategories = new QLabel(QStringLiteral("&Categories"), this);
    layout->addWidget(lblCategories, 0, 0);
    lstCategories = new QListWidget(this);
    lstCategories->setObjectName(QStringLiteral("lstCategories"));
    lstCategories->setViewMode(QListView::IconMode);
    // One column of large icons, each caption whole under its icon.
    lstCategories->setFlow(QListView::TopToBottom);
    lstCategories->setWrapping(false);
    lstCategories->setMovement(QListView::Static);
    lstCategories->setIconSize(QSize(32, 32));
    lstCategories->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lblCategories->setBuddy(lstCategories);
    const QStyle::StandardPixmap icons[] = {QStyle::SP_MessageBoxQuestion, QStyle::SP_ComputerIcon,
                                            QStyle::SP_FileDialogDetailedView};
    for (std::size_t i = 0; i < kCategories.size(); ++i)
        new QListWidgetItem(style()->standardIcon(icons[i]),
                            QString::fromLatin1(kCategories[i].Caption), lstCategories);
    layout->addWidget(lstCategories, 1, 0, 2, 1);

    lblHowTo = new QLabel(QStringLiteral("How to:"), this);
    QFont heading = lblHowTo->font();
    heading.setBold(true);
    lblHowTo->setFont(heading);
    layout->addWidget(lblHowTo, 0, 1);
    auto* panels = new QWidget(this);
    auto* stack = new QGridLayout(panels);
    stack->setContentsMargins(0, 0, 0, 0);
    for (std::size_t i = 0; i < kCategories.size(); ++i) {
        const TCategory& c = kCategories[i];
        TPanel& p = Panels[i];
        p.Panel = new QWidget(panels);
        auto* v = new QVBoxLayout(p.Panel);
        v->setContentsMargins(0, 0, 0, 0);
        p.Text = new QLabel(QString::fromLatin1(c.Text), p.Panel);
        p.Text->setWordWrap(true);
        v->addWidget(p.Text);
        p.Example = new widgets::TEPRichLabel(p.Panel);
        p.Example->SetRichText(c.Example);
        p.Example->setFrameShape(QFrame::NoFrame);
        p.Example->setFocusPolicy(Qt::NoFocus);
        v->addWidget(p.Example);
        p.Uses = new QTreeWidget(p.Panel);
        p.Uses->setRootIsDecorated(false);
        p.Uses->setHeaderLabels({QStringLiteral("Possible Uses")});
        p.Uses->setColumnWidth(0, 289);
        p.Uses->header()->setStretchLastSection(false);
        for (const char* use : c.Uses)
            if (use)
                new QTreeWidgetItem(p.Uses, {QString::fromLatin1(use)});
        p.Uses->installEventFilter(this);
        QTreeWidget* uses = p.Uses;
        connect(uses, &QTreeWidget::itemClicked, this, [this, uses] { TakeUse(uses); });
        connect(uses, &QTreeWidget::itemDoubleClicked, this, [this, uses] {
            TakeUse(uses);
            accept();
        });
        v->addWidget(p.Uses, 1);
        stack->addWidget(p.Panel, 0, 0);
    }
    layout->addWidget(panels, 1, 1);

    auto* lblValue = new QLabel(QStringLiteral("&Value to be Inserted"), this);
    edtValue = new QLineEdit(this);
    edtValue->setObjectName(QStringLiteral("edtValue"));
    lblValue->setBuddy(edtValue);
    auto* value = new QVBoxLayout;
    value->addWidget(lblValue);
    value->addWidget(edtValue);
    layout->addLayout(value, 2, 1);

    auto* foot = new QVBoxLayout;
    std::tie(btnOK, btnCancel) = AddOkCancel(this, foot);
    layout->addLayout(foot, 3, 0, 1, 2);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lstCategories, &QListWidget::currentRowChanged, this,
            [this](int row) { SelectCategory(row); });

    resize(560, 400);
    setFixedSize(size());
    SelectCategory(0);
}

void TfrmUpdateField::SelectCategory(int index) {
    if (index < 0 || index >= int(Panels.size()))
        return;
    for (std::size_t i = 0; i < Panels.size(); ++i)
        if (int(i) != index)
            Panels[i].Panel->hide();
    Panels[std::size_t(index)].Panel->show();
    Panels[std::size_t(index)].Panel->raise();
    word_ = CategoryWord(kCategories[std::size_t(index)].Caption);
    if (lstCategories->currentRow() != index)
        lstCategories->setCurrentRow(index);
}

std::string TfrmUpdateField::Code() const {
    return MergeCodeText(word_, S(edtValue->text()));
}

void TfrmUpdateField::TakeUse(QTreeWidget* uses) {
    if (QTreeWidgetItem* item = uses->currentItem(); item && item->isSelected())
        edtValue->setText(item->text(0));
}

void TfrmUpdateField::FitCategories() {
    // Cells as wide as the longest caption in the font the list shows, the
    // list as wide as a cell and tall enough for all of them.
    const QFontMetrics metrics(lstCategories->font());
    int widest = 0;
    for (const TCategory& c : kCategories)
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromLatin1(c.Caption)));
    const QSize icon = lstCategories->iconSize();
    const QSize cell(std::max(widest, icon.width()) + 24, icon.height() + metrics.height() + 30);
    lstCategories->setGridSize(cell);
    const int frame = 2 * lstCategories->frameWidth();
    lstCategories->setFixedWidth(cell.width() + frame);
    lstCategories->setMinimumHeight(int(kCategories.size()) * cell.height() + frame);
}

void TfrmUpdateField::showEvent(QShowEvent* event) {
    // The font is known once the window is polished, just before it shows.
    FitCategories();
    QDialog::showEvent(event);
    SelectCategory(0);
    lstCategories->setFocus();
    if (QScreen* screen = this->screen())
        move(screen->geometry().center() - rect().center());
}

bool TfrmUpdateField::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease)
        for (const TPanel& p : Panels)
            if (watched == p.Uses)
                TakeUse(p.Uses);
    return QDialog::eventFilter(watched, event);
}

} // namespace cfgman
