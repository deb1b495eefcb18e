// What a subcommand reports: one JSON value (records keep their keys in
// order), printed either as JSON or as text, one "key: value" line a field.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace zelset_cli {

using Report = nlohmann::ordered_json;

// As text: records as "key: value" lines with nested records indented under
// their key; a list as its length, then one "-" item a line; yes and no for
// booleans; numbers in their shortest exact form (30, not 3e+01 or 30.0); a
// text of several lines indented under its key.
std::string report_text(const Report& report);

// A value that is neither record nor list, as report_text writes it.
std::string scalar_text(const Report& value);

// As one JSON document on one line. Text that is not UTF-8 (an object's name
// in an archive) has its stray bytes replaced by U+FFFD.
std::string report_json(const Report& report);

// Prints the report on standard output (see print()).
void print_report(const Report& report, bool as_json);

}  // namespace zelset_cli
