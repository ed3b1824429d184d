#include "widgets/frame/logpane.h"

#include <QTextCursor>
#include <QTimer>
#include <algorithm>

namespace widgets {

namespace {

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

TLogPane::TLogPane(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    flushTimer_ = new QTimer(this);
    flushTimer_->setSingleShot(true);
    flushTimer_->setInterval(100);
    connect(flushTimer_, &QTimer::timeout, this, [this] { Flush(); });
}

void TLogPane::InsertLine(const std::string& line) {
    pending_ << Q(line);
    if (!flushTimer_->isActive())
        flushTimer_->start();
}

void TLogPane::Flush() {
    flushTimer_->stop();
    if (pending_.isEmpty())
        return;
    std::reverse(pending_.begin(), pending_.end());
    const QString text = pending_.join(QLatin1Char('\n'));
    pending_.clear();
    if (document()->isEmpty()) {
        setPlainText(text);
        return;
    }
    QTextCursor c(document());
    c.movePosition(QTextCursor::Start);
    c.insertText(text + QLatin1Char('\n'));
}

void TLogPane::SetLines(const std::deque<std::string>& lines) {
    Clear();
    QStringList text;
    for (const std::string& line : lines)
        text << Q(line);
    setPlainText(text.join(QLatin1Char('\n')));
}

void TLogPane::Clear() {
    flushTimer_->stop();
    pending_.clear();
    clear();
}

} // namespace widgets
