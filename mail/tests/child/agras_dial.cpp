// Dials one entry with TagRas and hangs up again, for the dial-up tests that
// dial as another user:  agras_dial <entry> <password> <keep password: 0|1>
// Exits 0 after a dial that connected, else prints why and exits 1.
#include "mail/agras.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: agras_dial ENTRY PASSWORD KEEP\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    TagRas ras;
    ras.SetService(argv[1]);
    if (ras.Service() != argv[1]) {
        std::fprintf(stderr, "no entry %s\n", argv[1]);
        return 1;
    }
    ras.SetPassword(argv[2]);
    ras.SetRemovePassword(std::strcmp(argv[3], "1") != 0);
    try {
        ras.Connect();
        ras.HangUp();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
