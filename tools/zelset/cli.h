// The pieces of the command line that every subcommand shares: how help is
// laid out, and numbers as the subcommands take them.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <string>

namespace zelset_cli {

// Runs a parsed subcommand and returns its exit code; failures are thrown
// (Failure, UsageError) and reported by main.
using Runner = std::function<int()>;

// Help that starts with the usage line ("usage: zelset convert [OPTIONS]
// ARCHIVE.abc OUT"), then says what the command does; an option shows the
// name of its value ("--sample N") and nothing else.
class HelpFormatter : public CLI::Formatter {
public:
    HelpFormatter();
    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override;
    std::string make_option_opts(const CLI::Option* option) const override;
};

// The heading under which a command lists the commands it has.
constexpr const char* kCommandsGroup = "Commands";

// Accepts an unsigned number from min to max, in decimal or in hexadecimal
// after 0x; nothing else (no sign, no blank, no octal). CLI11's own reading
// of numbers takes "-1" as the largest one and "010" as eight.
CLI::Validator unsigned_number(std::uint64_t min, std::uint64_t max);

// The value of text that unsigned_number accepted.
std::uint64_t to_unsigned(const std::string& text);

}  // namespace zelset_cli
