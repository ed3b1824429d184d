// Against an outside writer and reader: LibreOffice turns a small HTML page
// into RTF for us to read, and reads the RTF we write.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextListFormat>
#include <gtest/gtest.h>

#include "platform/rtf/rtfreader.h"
#include "platform/rtf/rtfwriter.h"
#include "platform/rtf/tests/docdump.h"

namespace rtf {
namespace {

using test::Family;
using test::Paragraphs;

class LibreOffice : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (program_.isEmpty())
            GTEST_SKIP() << "LibreOffice (soffice) is not installed; tools/bootstrap.sh "
                            "installs libreoffice-writer-nogui";
        ASSERT_TRUE(dir_.isValid());
    }

    // Converts a file into the output folder; the converted file's bytes.
    QByteArray Convert(const QString& input, const QString& to, const QStringList& options = {}) {
        const QString out = dir_.filePath(QStringLiteral("out"));
        QStringList args{QStringLiteral("-env:UserInstallation=file://") + dir_.filePath("profile"),
                         QStringLiteral("--headless"), QStringLiteral("--norestore")};
        args << options << QStringLiteral("--convert-to") << to << QStringLiteral("--outdir") << out
             << input;
        QProcess soffice;
        soffice.setProcessChannelMode(QProcess::MergedChannels);
        soffice.start(program_, args);
        // The first start builds the profile; a loaded machine is slow.
        if (!soffice.waitForFinished(300'000)) {
            soffice.kill();
            soffice.waitForFinished();
            ADD_FAILURE() << "soffice did not finish";
            return {};
        }
        const QString extension = to.section(QLatin1Char(':'), 0, 0);
        QFile file(QDir(out).filePath(QFileInfo(input).completeBaseName() + "." + extension));
        if (!file.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "no output from soffice: " << soffice.readAll().toStdString();
            return {};
        }
        return file.readAll();
    }

    QString program_;
    QTemporaryDir dir_;
};

TEST_F(LibreOffice, ItsRtfReadsAsTheDocument) {
    const QByteArray rtf = Convert(
        QStringLiteral(QUELTA_SOURCE_DIR "/platform/rtf/tests/data/sample.html"),
        QStringLiteral("rtf:Rich Text Format"), {QStringLiteral("--infilter=HTML (StarWriter)")});
    ASSERT_FALSE(rtf.isEmpty());
    QTextDocument document;
    ReadRtf(std::string_view(rtf.constData(), rtf.size()), document);

    const auto p = Paragraphs(document);
    ASSERT_EQ(p.size(), 7u) << test::Dump(document);
    EXPECT_EQ(test::Text(document).toStdString(),
              "Bold centred\nPlain italic under red big mono\nright \u00e9 \u20ac \u03b1 "
              "\U0001F600\nindented\none\ntwo\na\u2028b");

    EXPECT_EQ(p[0].align, Qt::AlignHCenter);
    EXPECT_EQ(p[0].runs.at(0).format.fontWeight(), QFont::Bold);

    const QString body = Family(p[1].runs.at(0).format);
    EXPECT_FALSE(body.isEmpty());
    for (const auto& run : p[1].runs) {
        const QTextCharFormat& f = run.format;
        EXPECT_EQ(f.fontItalic(), run.text == "italic") << run.text.toStdString();
        EXPECT_EQ(f.fontUnderline(), run.text == "under") << run.text.toStdString();
        EXPECT_EQ(f.fontPointSize(), run.text == "big" ? 18 : 12) << run.text.toStdString();
        EXPECT_EQ(Family(f), run.text == "mono" ? QString("DejaVu Sans Mono") : body)
            << run.text.toStdString();
        if (run.text == "red")
            EXPECT_EQ(f.foreground().color(), QColor(255, 0, 0));
        else
            EXPECT_FALSE(f.hasProperty(QTextFormat::ForegroundBrush)) << run.text.toStdString();
    }

    EXPECT_EQ(p[2].align, Qt::AlignRight);
    // One inch in, hanging by half an inch.
    EXPECT_DOUBLE_EQ(p[3].left, 96);
    EXPECT_DOUBLE_EQ(p[3].first, -48);
    EXPECT_EQ(p[4].listStyle, QTextListFormat::ListDisc);
    EXPECT_EQ(p[5].list, p[4].list);
    EXPECT_EQ(p[6].list, nullptr);

    // And what we make of it survives our own writing.
    QTextDocument again;
    ReadRtf(WriteRtf(document), again);
    EXPECT_EQ(test::Dump(again), test::Dump(document));
}

TEST_F(LibreOffice, ReadsOurRtf) {
    QTextDocument document;
    ReadRtf(R"({\rtf1{\colortbl;\red0\green128\blue0;}{\b Bold} and {\i italic}\par )"
            R"(caf\u233? \u8364? \u945? \u26085? \u-10179?\u-8704?\par )"
            R"(braces \{ \} and \\ back\tab tab\par\pard\qc {\cf1 centred}\par)"
            R"({\*\pn\pnlvlblt}item\par})",
            document);
    const std::string rtf = WriteRtf(document);
    const QString path = dir_.filePath(QStringLiteral("ours.rtf"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(rtf.data(), static_cast<qint64>(rtf.size()));
    }
    QByteArray text = Convert(path, QStringLiteral("txt:Text (encoded):UTF8"));
    if (text.startsWith("\xef\xbb\xbf"))
        text.remove(0, 3);
    // Line by line; LibreOffice indents list items with spaces.
    QStringList lines = QString::fromUtf8(text).trimmed().split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = line.trimmed();
    EXPECT_EQ(lines.join(QLatin1Char('\n')).toStdString(),
              "Bold and italic\ncaf\u00e9 \u20ac \u03b1 \u65e5 \U0001F600\n"
              "braces { } and \\ back\ttab\ncentred\n\u2022 item")
        << rtf;

    const QString html = QString::fromUtf8(Convert(path, QStringLiteral("html")));
    EXPECT_TRUE(html.contains("<b>Bold</b>")) << html.toStdString();
    EXPECT_TRUE(html.contains("<i>italic</i>")) << html.toStdString();
    EXPECT_TRUE(
        html.contains(QRegularExpression("align=\"center\"[^<]*>\\s*<font color=\"#008000\"")))
        << html.toStdString();
    EXPECT_TRUE(html.contains(QRegularExpression("<ul>\\s*<li>"))) << html.toStdString();
}

} // namespace
} // namespace rtf
