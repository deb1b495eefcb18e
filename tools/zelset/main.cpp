// zelset: look into zelset's files and convert a scene's mesh from a shell.
// A host of the shared library like any other, through its public API only.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "args.h"
#include "commands.h"
#include "failure.h"
#include "zel_api.h"

namespace {

using namespace zelset_cli;

const char* const kUsage =
    "usage: zelset COMMAND ...\n"
    "  info FILE [--json]                     what a file holds\n"
    "  convert ARCHIVE.abc OUT [options]      one mesh to .zelm, .zel or .bzel\n"
    "  query UNIT.zel (--key K | --id ID | --nearest K [-k N] | --layer L) [--json]\n"
    "  --version                              the library version\n"
    "'zelset COMMAND --help' explains a command.\n";

struct Command {
    const char* name;
    int (*run)(int, char**);
    const char* usage;
};

const Command kCommands[] = {
    {"info", run_info, kInfoUsage},
    {"convert", run_convert, kConvertUsage},
    {"query", run_query, kQueryUsage},
};

int usage_error(const char* usage, const char* why) {
    std::fprintf(stderr, "zelset: %s\n%s", why, usage);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage_error(kUsage, "a command is needed");
    const char* name = argv[1];
    if (!std::strcmp(name, "--help") || !std::strcmp(name, "-h")) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (!std::strcmp(name, "--version")) {
        std::printf("zelset %s\n", ZELSET_VERSION_STRING);
        return kExitOk;
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(name, c.name) != 0) continue;
        if (wants_help(argc - 2, argv + 2)) {
            std::fputs(c.usage, stdout);
            return kExitOk;
        }
        try {
            return c.run(argc - 2, argv + 2);
        } catch (const UsageError& e) {
            return usage_error(c.usage, e.what());
        } catch (const Failure& e) {
            std::fprintf(stderr, "zelset: %s\n", e.what());
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "zelset: out of memory\n");
        }
        return kExitFailure;
    }
    return usage_error(kUsage, "unknown command");
}
