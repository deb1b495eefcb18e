// The subcommands. Each registers itself, its options and its help on the
// command line and returns what runs it once the line is parsed; it prints
// its result on standard output.
#pragma once

#include "cli.h"

namespace zelset_cli {

Runner add_info(CLI::App& app);
Runner add_convert(CLI::App& app);
Runner add_query(CLI::App& app);
Runner add_verify(CLI::App& app);
Runner add_preview(CLI::App& app);

}  // namespace zelset_cli
