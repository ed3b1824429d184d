// A write that fails part-way leaves a table that reopens consistently and
// loses nothing; the exports of the shared library are all there.
#include <algorithm>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "platform/xbase/tests/canonical.h"
#include "platform/xbase/tests/xbtest_util.h"
#include "platform/xbase/xbfile.h"

namespace {

using namespace xbtest;

TEST(Faults, AFailedWriteIsReportedAndTheRowIsWrittenOnce) {
    for (int nth = 1; nth <= 5; ++nth) {
        SCOPED_TRACE(nth);
        EngineReset reset;
        TempDir dir;
        const XbFieldDef fields[] = {Def("MESSAGE_ID", 'C', 40), Def("NOTES", 'M', 10)};
        std::string p = dir.File("received.dbf");
        ASSERT_EQ(xb_Create(p.c_str(), fields, 2), 1);
#ifdef XBASE_HAS_INDEXES
        ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0);
        ASSERT_EQ(xb_IndexTag("", "MESSAGE_ID", "MESSAGE_ID", 1, 0, ""), 1);
        xb_CloseAll();
#endif
        ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
            Put("MESSAGE_ID", "<" + std::to_string(i) + ">");
            xb_Commit();
            xb_Unlock(0);
        }
        xbase::FailNthWrite(nth);
        ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
        Put("MESSAGE_ID", "<new>");
        bool memoStored = xb_Replace("NOTES", XB_REPLACE_MEMO, "note", -1) == 1;
        if (!memoStored) {
            EXPECT_EQ(xb_LastError(), XB_ERR_IO) << ErrorText();
        }
        if (xb_Commit() != 1) {
            EXPECT_EQ(xb_LastError(), XB_ERR_IO) << ErrorText();
        }
        xbase::FailNthWrite(0);
        // Still pending after a failure: closing writes it.
        ASSERT_EQ(xb_CloseAll(), 1) << ErrorText();
        ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
        EXPECT_EQ(xb_RecCount(), 4);
        std::string ids;
        for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
            ids += Trim("MESSAGE_ID");
        EXPECT_EQ(ids, "<0><1><2><new>");
        xb_GoBottom();
        if (memoStored) {
            EXPECT_EQ(Memo("NOTES"), "note");
        }
#ifdef XBASE_HAS_INDEXES
        xb_SetOrder(1);
        EXPECT_EQ(xb_Seek("<new>"), 1);
        EXPECT_EQ(xb_RecNo(), 4);
#endif
        xb_CloseAll();
        EXPECT_EQ(EngineDump(p), DbfreadDump(p));
    }
}

#ifdef XBASE_HAS_INDEXES
// Building a tag again (as re-indexing does) drops the old one first; when
// the index file may not grow (a full disk), the build fails, and the area
// still lists only tags it has.
TEST(Faults, ATagBuildThatFailsIsReportedAndTheTableStaysUsable) {
    EngineReset reset;
    TempDir dir;
    const XbFieldDef fields[] = {Def("MESSAGE_ID", 'C', 40), Def("FROM", 'C', 40)};
    std::string p = dir.File("received.dbf");
    ASSERT_EQ(xb_Create(p.c_str(), fields, 2), 1);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0);
    ASSERT_EQ(xb_IndexTag("", "MESSAGE_ID", "MESSAGE_ID", 1, 0, ""), 1);
    ASSERT_EQ(xb_IndexTag("", "FROM", "FROM", 0, 0, ""), 2);
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
        Put("MESSAGE_ID", "<" + std::to_string(i) + "@example.com>");
        Put("FROM", "sender" + std::to_string(i) + "@example.com");
        xb_Commit();
    }
    const auto cdx = std::filesystem::file_size(dir.File("received.cdx"));
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto* oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{cdx / 2, old.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
    const int built = xb_IndexTag("", "MESSAGE_ID", "MESSAGE_ID", 1, 0, "");
    const int error = xb_LastError();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    ASSERT_EQ(built, 0);
    EXPECT_EQ(error, XB_ERR_IO) << ErrorText();
    // Every order the area still lists names a tag of the bag.
    for (int order = 1; order <= 2; ++order) {
        char name[64] = {};
        if (xb_TagName(order, name, sizeof name) > 0) {
            EXPECT_TRUE(std::string(name) == "MESSAGE_ID" || std::string(name) == "FROM") << name;
        }
    }
    // Built again with room, the tags work.
    ASSERT_NE(xb_IndexTag("", "MESSAGE_ID", "MESSAGE_ID", 1, 0, ""), 0) << ErrorText();
    xb_SetOrder(xb_TagArea("MESSAGE_ID"));
    EXPECT_EQ(xb_Seek("<7@example.com>"), 1) << ErrorText();
    xb_CloseAll();
}
#endif

TEST(Exports, EveryOperationOfTheHeaderIsExported) {
    std::ifstream in(std::string(QUELTA_SOURCE_DIR) + "/platform/xbase/xbengine.h");
    std::string header((std::istreambuf_iterator<char>(in)), {});
    void* lib = ::dlopen((std::string(QUELTA_BIN_DIR) + "/libxbengine.so").c_str(), RTLD_NOW);
    ASSERT_NE(lib, nullptr) << ::dlerror();
    // Each declaration line "XB_EXPORT <type> <name>(".
    int n = 0;
    std::size_t at = 0;
    while ((at = header.find("\nXB_EXPORT ", at)) != std::string::npos) {
        std::size_t paren = header.find('(', at);
        std::size_t start = header.find_last_of(" *", paren - 1) + 1;
        std::string name = header.substr(start, paren - start);
        EXPECT_NE(::dlsym(lib, name.c_str()), nullptr) << name;
        ++n;
        at = paren;
    }
    EXPECT_GT(n, 80);
    // Internals stay hidden.
    EXPECT_EQ(::dlsym(lib, "_ZN5xbase8SettingsEv"), nullptr);
    auto version = reinterpret_cast<const char* (*)()>(::dlsym(lib, "xb_Version"));
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version(), xb_Version());
    ::dlclose(lib);
}

} // namespace
