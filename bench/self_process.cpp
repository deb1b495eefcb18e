#include "self_process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace bench_process {

Finished run_self(const std::vector<std::string>& args) {
    std::vector<char*> argv = {const_cast<char*>("/proc/self/exe")};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    Finished f;
    int out[2];
    if (pipe(out) != 0) {
        f.error = "no pipe";
        return f;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    char buffer[4096];
    for (ssize_t n; spawned == 0 && (n = read(out[0], buffer, sizeof buffer)) > 0;) {
        f.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    if (spawned != 0) {
        f.error = std::string("cannot run this program again: ") + std::strerror(spawned);
        return f;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!f.ok) {
        f.error = WIFEXITED(status) ? "exited with status " + std::to_string(WEXITSTATUS(status))
                                    : "ended by signal " + std::to_string(WTERMSIG(status));
    }
    return f;
}

}  // namespace bench_process
