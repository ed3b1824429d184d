#pragma once
// Operating-system actions of the agent processor: starting a program,
// playing a sound, ending the session. Programs start from an argument
// list, never through a shell.
#include <functional>
#include <string>
#include <vector>

namespace win {

// Splits a command line into arguments at blanks; double quotes group a
// blank-containing argument and are removed. No other character is special.
[[nodiscard]] std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Starts the program (found on PATH when the name has no "/") without
// waiting for it; false when it could not be started. Children that ended
// are reaped on later calls.
bool LaunchProgram(const std::vector<std::string>& argv);

// Plays a wave file without waiting, through "aplay" when it is installed;
// otherwise nothing. Tests replace the player.
void PlaySoundFile(const std::string& path);
void SetSoundPlayer(std::function<void(const std::string& path)> player);

// The flags of ending a session, with their Windows values.
enum : unsigned {
    EWX_LOGOFF = 0,
    EWX_SHUTDOWN = 1,
    EWX_REBOOT = 2,
    EWX_FORCE = 4,
    EWX_POWEROFF = 8
};
// The command that ends the session for these flags: systemd's power-off
// and reboot, logind's session termination for log-off.
[[nodiscard]] std::vector<std::string> ShutdownCommand(unsigned flags);
// Runs the shutdown command; tests replace it with a recorder.
bool ExitWindows(unsigned flags);
void SetShutdownHook(std::function<bool(unsigned flags)> hook);

} // namespace win
