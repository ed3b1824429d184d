// bench_pass_rss FILE PROGRAM [ARGS...]: runs the program and writes its
// peak RSS in KiB (wait4 ru_maxrss) to FILE. A child started straight from
// bench_pass would report at least bench_pass's own peak (Linux carries
// the parent's high-water mark across fork/vfork and exec); started from
// this small program, the floor is this program's few hundred KiB.
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_pass_rss FILE PROGRAM [ARGS...]\n");
        return 2;
    }
    const pid_t pid = fork();
    if (pid < 0)
        return 127;
    if (pid == 0) {
        execv(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) < 0)
        return 127;
    if (FILE* f = std::fopen(argv[1], "w")) {
        std::fprintf(f, "%ld\n", usage.ru_maxrss);
        std::fclose(f);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}
