// The run-time binding: loading by name, the three errors, the texts.
#include "mail/agwinsock.h"

#include <functional>

#include <gtest/gtest.h>

namespace {

struct LibraryName {
    explicit LibraryName(const std::string& n) : saved(TagWinsock::LibraryName()) {
        TagWinsock::SetLibraryName(n);
    }
    ~LibraryName() { TagWinsock::SetLibraryName(saved); }
    std::string saved;
};

std::string Raised(const std::function<void()>& f) {
    try {
        f();
    } catch (const EWinsockDLLError& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

TEST(TagWinsock, MissingLibraryAndFunctions) {
    TagWinsock ws;
    {
        LibraryName missing("libno-such-wsock32.so");
        EXPECT_EQ(Raised([&] { ws.Load(); }), "Winsock not found");
        EXPECT_FALSE(ws.IsLoaded());
        EXPECT_FALSE(ws.IsAvailable());
    }
    EXPECT_EQ(Raised([&] { ws.WSAGetLastError(); }), "Winsock is not loaded");
    EXPECT_EQ(Raised([&] { (void)ws.GetProc("send"); }), "Winsock is not loaded");
    // inet_addr skips the loaded test and reports the function missing.
    EXPECT_EQ(Raised([&] { ws.InetAddr("127.0.0.1"); }), "Function inet_addr not found");

    LibraryName built(QUELTA_BIN_DIR "/libwsock32.so");
    EXPECT_TRUE(ws.IsAvailable());
    EXPECT_FALSE(ws.IsLoaded()); // only a probe
    ws.Load();
    EXPECT_TRUE(ws.IsLoaded());
    EXPECT_EQ(Raised([&] { (void)ws.GetProc("WSAConnectEx"); }), "Function WSAConnectEx not found");
    EXPECT_EQ(ws.InetAddr("127.0.0.1"), 0x0100007Fu);
    EXPECT_EQ(ws.Htons(0x1234), 0x3412);
    WSADATA d;
    EXPECT_EQ(ws.WSAStartup(0x0101, &d), 0);
    EXPECT_EQ(ws.WSACleanup(), 0);
    ws.Unload();
    EXPECT_FALSE(ws.IsLoaded());
}

TEST(TagWinsock, ErrorTexts) {
    EXPECT_EQ(NetStr(10004), "[10004] Interrupted function call");
    EXPECT_EQ(NetStr(10013), "[10013] Permission denied.");
    EXPECT_EQ(NetStr(10061), "[10061] Connection refused");
    EXPECT_EQ(NetStr(10065), "[10065] No Route to Host");
    EXPECT_EQ(NetStr(11003), "[11003] Non-Recoverable errors: FORMERR, REFUSED, NOTIMP");
    EXPECT_EQ(NetStr(11004), "[11004] Valid name, no data record of requested type");
    EXPECT_EQ(NetStr(10072), "");
}

} // namespace
