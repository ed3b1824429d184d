// The configuration manager as its main() starts it (splash, main window,
// status window, offscreen), in a process of its own: once the window is
// shown, the account named on the command line is selected in the tree and
// its lists are read and drawn. Writes to OUT:
//   <CPU s> <wall s> <rows listed> <peak RSS KiB> <RSS at start-up KiB>
// where the times are those of selecting the account until its lists are
// drawn, and the peak is the whole process's over its whole life.
//
//   bench_scale_window ACCOUNT-ID OUT     (QUELTA_WINDIR names the installation)
#include "cfgman/frmmain.h"
#include "cfgman/frmstatus.h"
#include "cfgman/splash.h"
#include "platform/win/paths.h"
#include "widgets/apphooks.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <time.h>

namespace {

double ProcessCpu() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

long StatusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return 0;
}

QTreeWidgetItem* FindAccount(QTreeWidgetItem* node, const std::string& id) {
    if (cfgman::TfrmMain::NodeImage(node) == cfgman::nkAccount &&
        cfgman::TfrmMain::NodeKey(node) == id)
        return node;
    for (int i = 0; i < node->childCount(); ++i)
        if (QTreeWidgetItem* found = FindAccount(node->child(i), id))
            return found;
    return nullptr;
}

long Rows(const QAbstractItemView* list) {
    return list->model() ? list->model()->rowCount() : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_scale_window ACCOUNT-ID OUT\n");
        return 2;
    }
    const std::string account = argv[1];
    const std::string out = argv[2];
    QApplication app(argc, argv);
    TAppHooks hooks;

    auto* splash = new cfgman::TSplashForm;
    splash->show();
    splash->repaint();
    QCoreApplication::processEvents();
    QCoreApplication::setApplicationName(QStringLiteral("Quelta Mail Management System"));

    cfgman::TfrmMain frmMain(win::ProgramFolder());
    frmMain.SetSplash(splash);
    frmMain.FormCreate();
    cfgman::TfrmStatus frmStatus(&frmMain);
    frmMain.SetStatusWindow(&frmStatus);
    frmMain.show();
    QCoreApplication::processEvents();
    frmMain.repaint();
    if (frmMain.StartupFailed() || frmMain.ErrorCount() != 0 ||
        !frmMain.treeMain->topLevelItem(0)) {
        std::fprintf(stderr, "bench_scale_window: the program did not start\n");
        return 1;
    }
    QTreeWidgetItem* node = FindAccount(frmMain.treeMain->topLevelItem(0), account);
    if (!node) {
        std::fprintf(stderr, "bench_scale_window: no account %s in the tree\n", account.c_str());
        return 1;
    }
    const long startKiB = StatusKiB("VmRSS:");

    // As a click on the account does: its lists are read, laid out and drawn.
    const double cpu0 = ProcessCpu();
    const auto wall0 = std::chrono::steady_clock::now();
    frmMain.treeMain->setCurrentItem(node);
    QCoreApplication::processEvents();
    frmMain.repaint();
    const double cpu = ProcessCpu() - cpu0;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();

    const long rows =
        Rows(frmMain.lstVReceived) + Rows(frmMain.lstVOutBox) + Rows(frmMain.lstVSent);
    const long peakKiB = StatusKiB("VmHWM:");
    if (frmMain.ErrorCount() != 0) {
        std::fprintf(stderr, "bench_scale_window: the lists failed: %s\n",
                     frmStatus.Lines().isEmpty() ? "" : frmStatus.Lines()[0].toUtf8().constData());
        return 1;
    }
    std::ofstream(out) << cpu << ' ' << wall << ' ' << rows << ' ' << peakKiB << ' ' << startKiB
                       << '\n';
    frmMain.SetStatusWindow(nullptr);
    return 0;
}
