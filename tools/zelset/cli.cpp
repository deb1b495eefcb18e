#include "cli.h"

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace zelset_cli {

namespace {

std::optional<std::uint64_t> parse_unsigned(const std::string& text) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    std::string digits = hex ? text.substr(2) : text;
    if (digits.empty()) return std::nullopt;
    for (char c : digits) {
        bool digit = (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
        if (!digit) return std::nullopt;
    }
    errno = 0;
    unsigned long long value = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
    if (errno == ERANGE) return std::nullopt;
    return static_cast<std::uint64_t>(value);
}

}  // namespace

HelpFormatter::HelpFormatter() {
    label("Usage", "usage");
    label("SUBCOMMAND", "COMMAND");
    column_width(24);
}

std::string HelpFormatter::make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const {
    if (mode == CLI::AppFormatMode::Sub) return make_expanded(app);
    return make_usage(app, name) + make_description(app) + make_positionals(app) + make_groups(app, mode) +
           make_subcommands(app, mode) + "\n" + make_footer(app);
}

std::string HelpFormatter::make_option_opts(const CLI::Option* option) const {
    if (option->get_positional() || option->get_type_name().empty()) return {};
    return " " + option->get_type_name();
}

CLI::Validator unsigned_number(std::uint64_t min, std::uint64_t max) {
    std::string range = std::to_string(min) + " to " + std::to_string(max);
    return CLI::Validator(
        [range, min, max](std::string& text) -> std::string {
            std::optional<std::uint64_t> value = parse_unsigned(text);
            if (value && *value >= min && *value <= max) return {};
            return "needs a number from " + range + ", not '" + text + "'";
        },
        "", "number");
}

std::uint64_t to_unsigned(const std::string& text) { return parse_unsigned(text).value_or(0); }

}  // namespace zelset_cli
