#include "cfgman/frmmessageformat.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextList>

namespace cfgman {

namespace {

// Ruler units: points in the indents, pixels (4/3 of a point) in the text.
double Pixels(int points) {
    return points * 4.0 / 3.0;
}
int Points(double pixels) {
    return static_cast<int>(std::lround(pixels * 3.0 / 4.0));
}

} // namespace

TFormatBar::TFormatBar(QTextEdit& body, QWidget* parent) : QToolBar(parent), body_(body) {
    setObjectName(QStringLiteral("FormatBar"));
    auto check = [this](const char* text) {
        QAction* a = addAction(QString::fromLatin1(text));
        a->setCheckable(true);
        return a;
    };
    BoldButton = check("B");
    ItalicButton = check("I");
    UnderlineButton = check("U");
    BulletsButton = check("Bullets");
    addSeparator();
    auto* alignGroup = new QActionGroup(this);
    LeftAlign = check("Left");
    CenterAlign = check("Center");
    RightAlign = check("Right");
    for (QAction* a : {LeftAlign, CenterAlign, RightAlign})
        alignGroup->addAction(a);
    addSeparator();
    FontName = new QComboBox(this);
    QStringList families = QFontDatabase::families();
    families.sort(Qt::CaseInsensitive);
    FontName->addItems(families);
    addWidget(FontName);
    FontSize = new QSpinBox(this);
    FontSize->setRange(1, 1638);
    addWidget(FontSize);
    AttachButton = addAction(QStringLiteral("Attach"));

    connect(BoldButton, &QAction::toggled, this, [this](bool on) {
        Apply([on](QTextCharFormat& f) { f.setFontWeight(on ? QFont::Bold : QFont::Normal); });
    });
    connect(ItalicButton, &QAction::toggled, this,
            [this](bool on) { Apply([on](QTextCharFormat& f) { f.setFontItalic(on); }); });
    connect(UnderlineButton, &QAction::toggled, this,
            [this](bool on) { Apply([on](QTextCharFormat& f) { f.setFontUnderline(on); }); });
    connect(BulletsButton, &QAction::toggled, this, [this](bool on) { Bullets(on); });
    connect(LeftAlign, &QAction::triggered, this, [this] { Align(Qt::AlignLeft); });
    connect(CenterAlign, &QAction::triggered, this, [this] { Align(Qt::AlignHCenter); });
    connect(RightAlign, &QAction::triggered, this, [this] { Align(Qt::AlignRight); });
    connect(FontName, &QComboBox::currentTextChanged, this, [this](const QString& family) {
        Apply([family](QTextCharFormat& f) { f.setFontFamilies({family}); });
    });
    connect(FontSize, &QSpinBox::valueChanged, this,
            [this](int size) { Apply([size](QTextCharFormat& f) { f.setFontPointSize(size); }); });
    Refresh();
}

void TFormatBar::Apply(const std::function<void(QTextCharFormat&)>& change) {
    if (refreshing_)
        return;
    QTextCharFormat format;
    change(format);
    // The selection when it holds a character, else what is typed next.
    body_.mergeCurrentCharFormat(format);
}

void TFormatBar::Align(Qt::Alignment alignment) {
    if (!refreshing_)
        body_.setAlignment(alignment);
}

void TFormatBar::Bullets(bool on) {
    if (refreshing_)
        return;
    QTextCursor cursor = body_.textCursor();
    if (on) {
        cursor.createList(QTextListFormat::ListDisc);
    } else if (QTextList* list = cursor.currentList()) {
        list->remove(cursor.block());
        QTextBlockFormat block = cursor.blockFormat();
        block.setIndent(0);
        cursor.setBlockFormat(block);
    }
}

void TFormatBar::Refresh() {
    refreshing_ = true;
    const QTextCursor cursor = body_.textCursor();
    const QTextCharFormat format =
        cursor.hasSelection() ? cursor.charFormat() : body_.currentCharFormat();
    const QFont font = format.font();
    BoldButton->setChecked(font.bold());
    ItalicButton->setChecked(font.italic());
    UnderlineButton->setChecked(font.underline());
    BulletsButton->setChecked(cursor.currentList() != nullptr);
    const Qt::Alignment align = body_.alignment();
    LeftAlign->setChecked(!(align & (Qt::AlignHCenter | Qt::AlignRight)));
    CenterAlign->setChecked(bool(align & Qt::AlignHCenter));
    RightAlign->setChecked(bool(align & Qt::AlignRight));
    const int index = FontName->findText(font.family());
    if (index >= 0)
        FontName->setCurrentIndex(index);
    FontSize->setValue(font.pointSize() > 0 ? font.pointSize() : body_.font().pointSize());
    refreshing_ = false;
}

TEditRuler::TEditRuler(QTextEdit& body, QWidget* parent) : QWidget(parent), body_(body) {
    setObjectName(QStringLiteral("Ruler"));
    setFixedHeight(26);
    FirstInd = new TRulerMarker(*this, false);
    LeftInd = new TRulerMarker(*this, true);
    RightInd = new TRulerMarker(*this, true);
    Refresh();
}

TIndents TEditRuler::Indents() const {
    const QTextBlockFormat b = body_.textCursor().blockFormat();
    // The first line starts at left margin + text indent, the others at the left margin.
    const double left = b.leftMargin();
    return {Points(left + b.textIndent()), Points(-b.textIndent()), Points(b.rightMargin())};
}

void TEditRuler::SetIndents(const TIndents& indents) {
    QTextBlockFormat b = body_.textCursor().blockFormat();
    b.setLeftMargin(Pixels(indents.First + indents.Left));
    b.setTextIndent(-Pixels(indents.Left));
    b.setRightMargin(Pixels(indents.Right));
    body_.textCursor().setBlockFormat(b);
}

void TEditRuler::Refresh() {
    const TMarkers m = MarkerPositions(Indents(), width());
    FirstInd->move(m.First, 0);
    LeftInd->move(m.Left, height() - LeftInd->height());
    RightInd->move(m.Right, height() - RightInd->height());
}

void TEditRuler::MarkerReleased(TRulerMarker* marker) {
    TIndents indents = Indents();
    const int grip = marker->Grip();
    if (marker == FirstInd)
        indents.First = FirstIndentAt(marker->x(), grip);
    else if (marker == LeftInd)
        indents.Left = LeftIndentAt(marker->x(), grip, indents.First);
    else
        indents.Right = RightIndentAt(marker->x(), grip, width());
    SetIndents(indents);
    Refresh();
}

void TEditRuler::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.setPen(palette().color(QPalette::Mid));
    p.drawText(rect().adjusted(6, 0, 0, 0), Qt::AlignVCenter | Qt::TextExpandTabs,
               QString::fromLatin1(RulerText().c_str()));
}

void TEditRuler::resizeEvent(QResizeEvent*) {
    Refresh();
}

TRulerMarker::TRulerMarker(TEditRuler& ruler, bool pointsUp)
    : QWidget(&ruler), ruler_(ruler), pointsUp_(pointsUp) {
    setFixedSize(9, 8);
    setCursor(Qt::SizeHorCursor);
}

void TRulerMarker::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.setBrush(palette().color(QPalette::Button));
    const int w = width() - 1, h = height() - 1;
    const QPolygon tip = pointsUp_ ? QPolygon({QPoint(w / 2, 0), QPoint(w, h), QPoint(0, h)})
                                   : QPolygon({QPoint(0, 0), QPoint(w, 0), QPoint(w / 2, h)});
    p.drawPolygon(tip);
}

void TRulerMarker::mousePressEvent(QMouseEvent* event) {
    dragging_ = event->button() == Qt::LeftButton;
}

void TRulerMarker::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_)
        move(mapToParent(event->position().toPoint()).x() - Grip(), y());
}

void TRulerMarker::mouseReleaseEvent(QMouseEvent*) {
    if (!dragging_)
        return;
    dragging_ = false;
    ruler_.MarkerReleased(this);
}

} // namespace cfgman
