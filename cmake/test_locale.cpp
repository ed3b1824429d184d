// Linked into test programs whose tests run once more under another locale:
// the program takes its locale from the environment at start, as a Qt
// program does. Asked for a locale that cannot be had (QUELTA_TEST_LOCALE,
// set with LC_ALL by the test entry), it stops at once rather than pass
// under the "C" locale it would fall back to.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const bool kLocaleSet = [] {
    const char* wanted = std::getenv("QUELTA_TEST_LOCALE");
    const char* got = std::setlocale(LC_ALL, "");
    if (wanted && *wanted && (!got || std::strcmp(got, wanted) != 0)) {
        std::fprintf(stderr,
                     "The locale %s is not installed here (tools/bootstrap.sh, run as root, "
                     "generates it)\n",
                     wanted);
        std::exit(1);
    }
    return true;
}();

} // namespace
