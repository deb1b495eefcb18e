// zelset: look into zelset's files and convert a scene's mesh from a shell.
// A host of the shared library like any other, through its public API only.
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <new>
#include <string>

#include "cli.h"
#include "commands.h"
#include "failure.h"
#include "standard_output.h"
#include "zel_api.h"

namespace {

using namespace zelset_cli;

// The error, then the help of the command it concerns; exit 2.
int usage_error(const CLI::App& app, const char* why) {
    std::fprintf(stderr, "zelset: %s\n%s", why, app.help().c_str());
    return kExitUsage;
}

int run(int argc, char** argv) {
    CLI::App app("Looks into zelset's files and converts a scene's mesh.", "zelset");
    app.formatter(std::make_shared<HelpFormatter>());
    // Paths start with '/' on every system here, never options; the commands
    // inherit this.
    app.allow_windows_style_options(false);
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("zelset ") + ZELSET_VERSION_STRING, "The library version");
    app.footer("'zelset COMMAND --help' explains a command.");
    const std::map<std::string, Runner> runners = {
        {"info", add_info(app)}, {"convert", add_convert(app)}, {"query", add_query(app)},
        {"verify", add_verify(app)},
        {"preview", add_preview(app)}};
    for (CLI::App* command : app.get_subcommands({})) command->group(kCommandsGroup);
    // CLI11 would take an unknown command for a stray argument.
    if (argc > 1 && argv[1][0] != '-' && !runners.count(argv[1])) {
        return usage_error(app, (std::string("unknown command '") + argv[1] + "'").c_str());
    }
    try {
        try {
            app.parse(argc, argv);
        } catch (const CLI::CallForHelp&) {
            print(app.help());  // of the command asked about
            return kExitOk;
        } catch (const CLI::CallForVersion& version) {
            print(std::string(version.what()) + "\n");
            return kExitOk;
        } catch (const CLI::ParseError& wrong) {
            return usage_error(app, wrong.what());
        }
        return runners.at(app.get_subcommands().front()->get_name())();
    } catch (const UsageError& wrong) {
        return usage_error(app, wrong.what());
    } catch (const Failure& failure) {
        std::fprintf(stderr, "zelset: %s\n", failure.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "zelset: out of memory\n");
    }
    return kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
    // A reader that goes away is a failed write, reported as one, not a silent end.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    return finish_standard_output(run(argc, argv));
}
