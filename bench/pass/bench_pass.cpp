// posta /SINGLEPASS over pending messages against procmail running the
// equivalent recipes over the same messages. Work in progress.
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 5000;
    std::printf("bench_pass: %d messages (not measured yet)\n", n);
    return 0;
}
