// What a subcommand reports, built once and printed either as text (one
// "key: value" line each, nested records indented) or as one JSON document.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace zelset_cli {

class Report;
using ReportList = std::vector<Report>;

class Report {
public:
    using Fields = std::vector<std::pair<std::string, Report>>;

    Report() : value_(Fields{}) {}  // an empty record
    Report(bool v) : value_(v) {}
    Report(std::uint64_t v) : value_(v) {}
    Report(std::uint32_t v) : value_(std::uint64_t{v}) {}
    Report(std::int64_t v) : value_(v) {}
    Report(int v) : value_(std::int64_t{v}) {}
    Report(double v) : value_(v) {}
    Report(std::string v) : value_(std::move(v)) {}
    Report(const char* v) : value_(std::string(v)) {}
    Report(ReportList v) : value_(std::make_shared<ReportList>(std::move(v))) {}

    // Appends a field to a record (keys keep their order).
    Report& add(std::string key, Report value);
    // Appends every field of another record.
    Report& append(Report other);

    void print_text(std::FILE* out) const;
    void print_json(std::FILE* out) const;

private:
    using List = std::shared_ptr<ReportList>;
    std::variant<Fields, bool, std::uint64_t, std::int64_t, double, std::string, List> value_;

    void text_fields(std::FILE* out, int indent) const;
    void json(std::string& out) const;
    std::string scalar_text() const;
};

}  // namespace zelset_cli
