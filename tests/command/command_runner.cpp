#include "command/command_runner.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace zel_test {

namespace {

std::string in_quotes(const std::string& s) {
    std::string q(1, '"');
    q += s;
    q += '"';
    return q;
}

std::string text_of(const std::string& path) {
    std::vector<unsigned char> bytes = read_file(path);
    std::string text(bytes.begin(), bytes.end());
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

#ifdef _WIN32
constexpr int kCannotStart = 9009;
constexpr int kStartTries = 3;

// The command sits beside this test in bin/.
std::string command_path() {
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self, n);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + ZEL_COMMAND;
}
#else
std::string command_path() { return ZEL_COMMAND; }
#endif

}  // namespace

bool CommandRun::one_error_line() const {
    return !err.empty() && err.back() == '\n' && std::count(err.begin(), err.end(), '\n') == 1;
}

CommandRun run_zelset(const std::vector<std::string>& args, const TempDir& scratch, const std::string& stdout_to) {
    static std::atomic<unsigned> runs{0};
    const std::string run_name = "run" + std::to_string(runs++);
    std::string out = stdout_to.empty() ? scratch.file(run_name + ".out") : stdout_to;
    std::string err = scratch.file(run_name + ".err");
    std::string line = in_quotes(command_path());
    for (const std::string& a : args) {
        line += ' ';
        line += in_quotes(a);
    }
    line += " > ";
    line += in_quotes(out);
    line += " 2> ";
    line += in_quotes(err);
#ifdef _WIN32
    line = in_quotes(line);  // cmd /c strips one outer pair of quotes
#endif
    int status = std::system(line.c_str());
#ifdef _WIN32
    // Wine's cmd answers 9009 when its CreateProcess of the command fails; a
    // busy Wine does that now and then, a command that is not there every
    // time. The command has not run: its outputs are still empty.
    for (int attempt = 1; status == kCannotStart && attempt < kStartTries; ++attempt) status = std::system(line.c_str());
#endif
    CommandRun run;
#ifdef _WIN32
    run.exit_code = status;
#else
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    if (stdout_to.empty()) {
        run.out = text_of(out);
        std::remove(out.c_str());
    }
    run.err = text_of(err);
    std::remove(err.c_str());
    return run;
}

Converted convert(const TempDir& work, const std::string& input, const std::string& out_name,
                  std::vector<std::string> options) {
    Converted c{work.file(out_name), {}};
    std::vector<std::string> args = {"convert", input, c.path};
    args.insert(args.end(), options.begin(), options.end());
    c.run = run_zelset(args, work);
    return c;
}

std::size_t files_in(const TempDir& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir.path()),
                                                  std::filesystem::directory_iterator()));
}

}  // namespace zel_test
