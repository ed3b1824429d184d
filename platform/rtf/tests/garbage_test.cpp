// Malformed RTF: every file of the corpus (named after its fault) gives a
// document that our writer and reader then keep as it is; a few generated
// inputs test the limits.
#include <QDir>
#include <QFile>
#include <QTextDocument>
#include <gtest/gtest.h>
#include <map>

#include "platform/rtf/rtfreader.h"
#include "platform/rtf/rtfwriter.h"
#include "platform/rtf/tests/docdump.h"

namespace rtf {
namespace {

const std::map<std::string, std::string> kExpectedText = {
    {"unbalanced-close-braces.rtf", "kept"},   {"unclosed-groups.rtf", "bolditalicunder"},
    {"deep-nesting.rtf", "before after"},      {"backslash-at-end.rtf", "end"},
    {"bin-length-past-end.rtf", "text"},       {"negative-bin-length.rtf", "ab"},
    {"overlong-control-word.rtf", "textmore"}, {"truncated-hex-escape.rtf", "a bzz c"},
};

TEST(RtfGarbage, CorpusGivesStableDocuments) {
    const QDir dir(QStringLiteral(QUELTA_SOURCE_DIR "/platform/rtf/tests/garbage"));
    const QStringList names = dir.entryList({QStringLiteral("*.rtf")}, QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 10);
    for (const QString& name : names) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        QTextDocument document;
        ReadRtf(std::string_view(data.constData(), data.size()), document);
        if (const auto it = kExpectedText.find(name.toStdString()); it != kExpectedText.end()) {
            EXPECT_EQ(test::Text(document).toStdString(), it->second) << name.toStdString();
        }

        QTextDocument again;
        ReadRtf(WriteRtf(document), again);
        EXPECT_EQ(test::Dump(again), test::Dump(document)) << name.toStdString();
    }
}

TEST(RtfGarbage, LimitsHoldOnGeneratedInput) {
    QTextDocument document;
    // A million open groups: skipped past the depth limit, no recursion.
    ReadRtf("{\\rtf1 a" + std::string(1'000'000, '{') + "b", document);
    EXPECT_EQ(test::Text(document), "a");

    // More fonts than the table holds, each with a name past the limit.
    std::string fonts = "{\\rtf1{\\fonttbl{\\f0 Default;}";
    for (int i = 1; i < 20'000; ++i)
        fonts += "{\\f" + std::to_string(i) + " " + std::string(300, 'n') + ";}";
    fonts += "}\\f1 x\\f19999 y}";
    ReadRtf(fonts, document);
    const auto p = test::Paragraphs(document);
    ASSERT_EQ(p.size(), 1u);
    ASSERT_EQ(p[0].runs.size(), 2u);
    EXPECT_EQ(test::Family(p[0].runs[0].format).size(), 256);
    // Past the table's end: the default font.
    EXPECT_EQ(test::Family(p[0].runs[1].format), "Default");

    // Stricter limits of the caller's own.
    TRtfLimits limits;
    limits.MaxDepth = 3;
    ReadRtf("{\\rtf1 a{b{c{d}}}e}", document, limits);
    EXPECT_EQ(test::Text(document), "abce");
}

} // namespace
} // namespace rtf
