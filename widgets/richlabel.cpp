#include "widgets/richlabel.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <memory>

#include "platform/rtf/rtfreader.h"
#include "platform/rtf/rtfwriter.h"

namespace widgets {

namespace {

// The font height in pixels at a position: the whole points of the font
// there, at the screen's pixels per inch.
int FontHeightAt(const QTextDocument& document, int position, int dpiY) {
    const QTextBlock block = document.findBlock(position);
    QTextCharFormat format = block.charFormat();
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.contains(position)) {
            format = fragment.charFormat();
            break;
        }
    }
    const QFont font = format.font().resolve(document.defaultFont());
    if (font.pointSizeF() > 0)
        return MulDiv(static_cast<int>(font.pointSizeF()), dpiY, 72);
    return font.pixelSize();
}

// The first character of the first line that does not fit in the height,
// or the text's length when all of it fits.
int FirstUnfitted(const QTextDocument& document, qreal height, int length) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        if (!layout)
            continue;
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            if (layout->position().y() + line.y() + line.height() > height + 1e-6)
                return std::min(block.position() + line.textStart(), length);
        }
    }
    return length;
}

} // namespace

TEPRichLabel::TEPRichLabel(QWidget* parent) : TEPCustomRichEdit(parent) {
    setFrameStyle(QFrame::NoFrame);
    SetParentColor(true);
    // It never takes input or the focus, and its clicks are its parent's.
    setReadOnly(true);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // In a layout its height is its text's, never a share of the space left.
    setSizePolicy(sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    connect(document(), &QTextDocument::contentsChanged, this, [this] { ContentsChanged(); });
}

std::string TEPRichLabel::RichText() const {
    try {
        return rtf::WriteRtf(*document());
    } catch (...) {
        return {};
    }
}

void TEPRichLabel::SetRichText(const std::string& text) {
    const bool modified = document()->isModified();
    settingText_ = true;
    try {
        rtf::ReadRtf(text, *document());
    } catch (...) {
        document()->clear();
    }
    document()->setModified(modified);
    settingText_ = false;
    ContentsChanged();
}

void TEPRichLabel::SetAutoSize(bool value) {
    if (value == autoSize_)
        return;
    autoSize_ = value;
    AdjustHeight();
}

void TEPRichLabel::AdjustHeight() {
    const int length = document()->characterCount() - 1;
    const int width = contentsRect().width();
    if (!autoSize_ || length <= 0 || width <= 0)
        return;
    // Off while we resize, so that the size change does not start it again.
    autoSize_ = false;
    const std::unique_ptr<QTextDocument> measure(document()->clone());
    measure->setTextWidth(WordWrap() ? width : -1);
    measure->documentLayout()->documentSize();

    const int dpiY = logicalDpiY();
    int height = 0;
    for (int next = 0; next < length;) {
        const int step = FontHeightAt(*measure, next, dpiY);
        // A step that adds nothing would never end.
        if (step <= 0)
            break;
        height += step;
        next = FirstUnfitted(*measure, height, length);
    }
    const int total = height + (this->height() - contentsRect().height());
    if (total != adjustedHeight_) {
        adjustedHeight_ = total;
        updateGeometry();
    }
    resize(this->width(), total);
    autoSize_ = true;
}

QSize TEPRichLabel::sizeHint() const {
    const QSize hint = TEPCustomRichEdit::sizeHint();
    return adjustedHeight_ < 0 ? hint : QSize(hint.width(), adjustedHeight_);
}

QSize TEPRichLabel::minimumSizeHint() const {
    const QSize hint = TEPCustomRichEdit::minimumSizeHint();
    return adjustedHeight_ < 0 ? hint : QSize(hint.width(), adjustedHeight_);
}

void TEPRichLabel::resizeEvent(QResizeEvent* event) {
    TEPCustomRichEdit::resizeEvent(event);
    if (autoSize_)
        AdjustHeight();
}

// The control asks for the size its new content needs.
void TEPRichLabel::ContentsChanged() {
    if (!settingText_ && autoSize_)
        AdjustHeight();
}

} // namespace widgets
