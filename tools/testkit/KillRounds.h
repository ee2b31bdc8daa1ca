#pragma once
// Kills a process at random moments while it saves, for the tests that a save
// leaves the old or the new file and nothing else. The saving process marks the
// start and the end of each save on a pipe ('b', 'e'); the killer waits for the
// first mark, lets a random time pass, and sends SIGKILL.

#include <functional>
#include <random>
#include <string>
#include <vector>

namespace testkit {

struct KillResult {
    bool started = false;    // at least one save had begun
    bool midSave = false;    // the last mark was a begin: the kill landed inside a save
    unsigned completed = 0;  // saves that ended before the kill
};

// Runs save over and over in a forked child (for code that starts no threads
// before the fork) and kills it within maxDelayUs of its first save.
KillResult KillDuringSaves(const std::function<void()>& save, unsigned maxDelayUs,
                           std::mt19937& rng);

// The same for a program that marks its saves itself: argv is executed with
// KV_KILL_MARKS=<fd> in its environment (see MarkSave), plus the extra variables.
KillResult KillDuringSavesExec(const std::vector<std::string>& argv,
                               const std::vector<std::string>& env, unsigned maxDelayUs,
                               unsigned startLimitMs, std::mt19937& rng);

// Runs fn in a forked child (no threads before the fork) that sees a tmpfs of
// sizeKb mounted over folder, in a mount namespace of its own: the host sees no
// mount and the tmpfs goes with the child. Answers what fn answered ("" for
// success), or why it could not run. Needs root (or a user namespace).
std::string OnSmallDisk(const std::string& folder, unsigned sizeKb,
                        const std::function<std::string()>& fn);

// Fills the file system of folder to the last byte with a file named name.
bool FillDisk(const std::string& folder, const std::string& name);

// In the saving program: 'b' before a save, 'e' after it; nothing without KV_KILL_MARKS.
void MarkSave(char mark);
// True in a program started by KillDuringSavesExec.
bool IsKillChild();

}  // namespace testkit
