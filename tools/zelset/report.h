// What a subcommand reports, built once and printed either as text (one
// "key: value" line each, nested records indented) or as one JSON document.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zelset_cli {

class Report;
using ReportList = std::vector<Report>;

class Report {
public:
    using Fields = std::vector<std::pair<std::string, Report>>;

    Report() : kind_(kFields), fields_(std::make_shared<Fields>()) {}  // an empty record
    Report(bool v) : kind_(kBool), unsigned_(v) {}
    Report(std::uint64_t v) : kind_(kUnsigned), unsigned_(v) {}
    Report(std::uint32_t v) : kind_(kUnsigned), unsigned_(v) {}
    Report(std::int64_t v) : kind_(kSigned), signed_(v) {}
    Report(int v) : kind_(kSigned), signed_(v) {}
    Report(double v) : kind_(kDouble), double_(v) {}
    Report(std::string v) : kind_(kString), string_(std::move(v)) {}
    Report(const char* v) : kind_(kString), string_(v) {}
    Report(ReportList v) : kind_(kList), list_(std::make_shared<ReportList>(std::move(v))) {}

    // Appends a field to a record (keys keep their order).
    Report& add(std::string key, Report value);
    // Appends every field of another record.
    Report& append(Report other);

    void print_text(std::FILE* out) const;
    void print_json(std::FILE* out) const;
    // As one JSON document when json, else as text.
    void print(std::FILE* out, bool json) const { json ? print_json(out) : print_text(out); }

private:
    // One plain record rather than a std::variant: GCC's flow analysis
    // reports a variant's inactive vector as uninitialised under the sanitizers.
    enum Kind { kFields, kBool, kUnsigned, kSigned, kDouble, kString, kList };
    Kind kind_;
    std::uint64_t unsigned_ = 0;  // also the bool
    std::int64_t signed_ = 0;
    double double_ = 0;
    std::string string_;
    std::shared_ptr<Fields> fields_;
    std::shared_ptr<ReportList> list_;

    void text_fields(std::FILE* out, int indent) const;
    void json(std::string& out) const;
    std::string scalar_text() const;
};

}  // namespace zelset_cli
