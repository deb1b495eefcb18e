#include "command/command_runner.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

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

CommandRun run_zelset(const std::vector<std::string>& args, const TempDir& scratch) {
    std::string out = scratch.file("stdout.txt"), err = scratch.file("stderr.txt");
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
    CommandRun run;
#ifdef _WIN32
    run.exit_code = status;
#else
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    run.out = text_of(out);
    run.err = text_of(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return run;
}

}  // namespace zel_test
