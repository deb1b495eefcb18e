#include "args.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "failure.h"

namespace zelset_cli {

Args::Args(int argc, char** argv, const AcceptedOptions& accepted) {
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.size() < 2 || arg[0] != '-' || (arg[1] >= '0' && arg[1] <= '9')) {
            positional_.push_back(arg);
            continue;
        }
        if (options_.count(arg)) throw UsageError(arg + " given twice");
        if (accepted.flags.count(arg)) {
            options_[arg] = "";
        } else if (accepted.with_value.count(arg)) {
            if (i + 1 >= argc) throw UsageError(arg + " needs a value");
            options_[arg] = argv[++i];
        } else {
            throw UsageError("unknown option " + arg);
        }
    }
}

bool Args::has(const std::string& option) const { return options_.count(option) != 0; }

std::optional<std::string> Args::value(const std::string& option) const {
    auto it = options_.find(option);
    if (it == options_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::uint64_t> Args::number(const std::string& option, std::uint64_t max) const {
    std::optional<std::string> text = value(option);
    if (!text) return std::nullopt;
    const char* s = text->c_str();
    bool hex = std::strncmp(s, "0x", 2) == 0 || std::strncmp(s, "0X", 2) == 0;
    const char* digits = hex ? s + 2 : s;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(digits, &end, hex ? 16 : 10);
    // strtoull accepts signs and leading blanks; a number here is digits only.
    bool digits_only = *digits != '\0' && *digits != '-' && *digits != '+' && *digits != ' ';
    if (!digits_only || *end != '\0' || errno == ERANGE || v > max) {
        throw UsageError(option + " needs a number up to " + std::to_string(max) + ", not '" + *text + "'");
    }
    return static_cast<std::uint64_t>(v);
}

int Args::count_of(std::initializer_list<const char*> options) const {
    int n = 0;
    for (const char* o : options) n += has(o) ? 1 : 0;
    return n;
}

bool wants_help(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) return true;
    }
    return false;
}

}  // namespace zelset_cli
