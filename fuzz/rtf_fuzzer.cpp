// RTF streams as other programs write them: read into a document, written
// back, and the written text read again.
#include <QGuiApplication>
#include <QTextDocument>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_util.h"
#include "platform/rtf/rtfreader.h"
#include "platform/rtf/rtfwriter.h"

namespace {

// Documents need fonts, so a GUI application, without a display.
void EnsureApplication() {
    static int argc = 1;
    static char name[] = "fuzz_rtf";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        new QGuiApplication(argc, argv);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    EnsureApplication();
    std::string_view text = fuzz::Bytes(data, size);
    (void)rtf::IsRtf(text);
    QTextDocument document;
    rtf::ReadRtf(text, document);
    std::string written = rtf::WriteRtf(document);
    QTextDocument again;
    rtf::ReadRtf(written, again);
    return 0;
}
