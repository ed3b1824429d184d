#include "platform/win/osactions.h"

#include <cstdlib>
#include <mutex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace win {

namespace {

std::mutex g_mutex;
std::vector<pid_t> g_children;
std::function<void(const std::string&)> g_player;
std::function<bool(unsigned)> g_shutdown;

void ReapChildren() {
    for (auto it = g_children.begin(); it != g_children.end();) {
        int status;
        if (::waitpid(*it, &status, WNOHANG) != 0)
            it = g_children.erase(it);
        else
            ++it;
    }
}

bool OnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t pos = 0;
    while (pos <= dirs.size()) {
        size_t colon = dirs.find(':', pos);
        std::string dir =
            dirs.substr(pos, colon == std::string::npos ? std::string::npos : colon - pos);
        if (!dir.empty() && ::access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
        if (colon == std::string::npos)
            break;
        pos = colon + 1;
    }
    return false;
}

} // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> args;
    std::string current;
    bool inQuotes = false, have = false;
    for (char c : commandLine) {
        if (c == '"') {
            inQuotes = !inQuotes;
            have = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (have)
                args.push_back(current);
            current.clear();
            have = false;
        } else {
            current += c;
            have = true;
        }
    }
    if (have)
        args.push_back(current);
    return args;
}

bool LaunchProgram(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0].empty())
        return false;
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::lock_guard<std::mutex> lock(g_mutex);
    ReapChildren();
    pid_t pid;
    if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return false;
    g_children.push_back(pid);
    return true;
}

void PlaySoundFile(const std::string& path) {
    std::function<void(const std::string&)> player;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        player = g_player;
    }
    if (player) {
        player(path);
        return;
    }
    if (OnPath("aplay"))
        LaunchProgram({"aplay", "-q", path});
}

void SetSoundPlayer(std::function<void(const std::string&)> player) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_player = std::move(player);
}

std::vector<std::string> ShutdownCommand(unsigned flags) {
    if (flags & EWX_REBOOT)
        return {"systemctl", "reboot"};
    if (flags & (EWX_POWEROFF | EWX_SHUTDOWN))
        return {"systemctl", "poweroff"};
    const char* session = std::getenv("XDG_SESSION_ID");
    if (session && *session)
        return {"loginctl", "terminate-session", session};
    return {"loginctl", "terminate-user", std::to_string(::getuid())};
}

bool ExitWindows(unsigned flags) {
    std::function<bool(unsigned)> hook;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        hook = g_shutdown;
    }
    if (hook)
        return hook(flags);
    return LaunchProgram(ShutdownCommand(flags));
}

void SetShutdownHook(std::function<bool(unsigned)> hook) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_shutdown = std::move(hook);
}

} // namespace win
