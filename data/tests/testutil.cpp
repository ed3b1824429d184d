#include "data/tests/testutil.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "data/cursor.h"

extern char** environ;

namespace data::test {

TempFolder::TempFolder() {
    std::string tmpl = std::filesystem::temp_directory_path().string() + "/qdata-XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr)
        std::abort();
    path_ = tmpl + "/";
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

int Run(const std::vector<std::string>& argv, std::string* out) {
    int pipefd[2];
    if (pipe(pipefd) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipefd[1]);
    std::string text;
    char buf[4096];
    ssize_t n = 0;
    while ((n = read(pipefd[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    close(pipefd[0]);
    if (rc != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    if (out != nullptr)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool InstallTables(const std::string& folder) {
    return Run({QUELTA_BIN_DIR "/mkschema", folder}) == 0;
}

InfoBoxes::InfoBoxes() {
    SetInfoBoxHook([this](const std::string& text) { texts.push_back(text); });
}

InfoBoxes::~InfoBoxes() {
    SetInfoBoxHook(nullptr);
}

} // namespace data::test
