// A shared library without the server entry points, for regsvr's failure report.
extern "C" __attribute__((visibility("default"))) int NotAServer() {
    return 0;
}
