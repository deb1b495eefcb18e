// The command line of one subcommand: positional arguments and options, each
// option either a flag or followed by one value.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zelset_cli {

struct AcceptedOptions {
    std::set<std::string> flags;        // "--json"
    std::set<std::string> with_value;   // "--object"
};

class Args {
public:
    // Throws UsageError for an unknown option, a value missing or an option given twice.
    Args(int argc, char** argv, const AcceptedOptions& accepted);

    const std::vector<std::string>& positional() const { return positional_; }
    bool has(const std::string& option) const;
    std::optional<std::string> value(const std::string& option) const;
    // The option's value as an unsigned integer (decimal, or hexadecimal after 0x)
    // no greater than max; throws UsageError when it is not one.
    std::optional<std::uint64_t> number(const std::string& option, std::uint64_t max = UINT64_MAX) const;
    // How many of the given options are present.
    int count_of(std::initializer_list<const char*> options) const;

private:
    std::vector<std::string> positional_;
    std::map<std::string, std::string> options_;
};

// True when argv holds -h or --help anywhere.
bool wants_help(int argc, char** argv);

}  // namespace zelset_cli
