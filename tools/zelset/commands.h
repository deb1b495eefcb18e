// The subcommands. Each takes the arguments after its name, prints its result
// on standard output and returns the exit code; failures are thrown
// (Failure, UsageError) and reported by main.
#pragma once

namespace zelset_cli {

int run_info(int argc, char** argv);
int run_convert(int argc, char** argv);
int run_query(int argc, char** argv);

extern const char* const kInfoUsage;
extern const char* const kConvertUsage;
extern const char* const kQueryUsage;

}  // namespace zelset_cli
