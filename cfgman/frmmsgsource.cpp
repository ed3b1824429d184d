#include "cfgman/frmmsgsource.h"

#include "cfgman/qtext.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStringDecoder>
#include <QVBoxLayout>
#include <stdexcept>

namespace cfgman {

TfrmMsgSource::TfrmMsgSource(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmMsgSource"));
    setWindowTitle(QStringLiteral("Message Source"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    memSource = new QPlainTextEdit(this);
    memSource->setObjectName(QStringLiteral("memSource"));
    memSource->setReadOnly(true);
    memSource->setLineWrapMode(QPlainTextEdit::NoWrap);
    memSource->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memSource->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont bold = memSource->font();
    bold.setBold(true);
    memSource->setFont(bold);
    QPalette pal = memSource->palette();
    pal.setColor(QPalette::Base, QApplication::palette("QMenu").color(QPalette::Window));
    memSource->setPalette(pal);
    layout->addWidget(memSource);
    resize(520, 380);
}

void TfrmMsgSource::LoadFile(const std::string& path) {
    QFile file(Q(path));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot open file " + path);
    const QByteArray bytes = file.readAll();
    // Mail is mostly ASCII; bytes that are no UTF-8 show one to one.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    memSource->setPlainText(text);
}

} // namespace cfgman
