#include "report.h"

#include "standard_output.h"

namespace zelset_cli {

namespace {

std::string dump(const Report& value) { return value.dump(-1, ' ', false, Report::error_handler_t::replace); }

}  // namespace

std::string scalar_text(const Report& value) {
    if (value.is_boolean()) return value.get<bool>() ? "yes" : "no";
    if (value.is_string()) return value.get<std::string>();
    std::string text = dump(value);
    // JSON marks a whole float with ".0"; a reader of text needs no mark.
    if (value.is_number_float() && text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0) {
        text.resize(text.size() - 2);
    }
    return text;
}

namespace {

void append_indent(std::string& out, int indent) { out.append(static_cast<std::size_t>(indent), ' '); }

void append_fields(std::string& out, const Report& record, int indent);

void append_field(std::string& out, const std::string& key, const Report& value, int indent) {
    append_indent(out, indent);
    if (value.is_object()) {
        out += key + ":\n";
        append_fields(out, value, indent + 2);
    } else if (value.is_array()) {
        out += key + ": " + std::to_string(value.size()) + "\n";
        for (const Report& item : value) {
            append_indent(out, indent + 2);
            if (item.is_object()) {
                out += "-\n";
                append_fields(out, item, indent + 4);
            } else {
                out += "- " + scalar_text(item) + "\n";
            }
        }
    } else {
        std::string text = scalar_text(value);
        if (text.find('\n') == std::string::npos) {
            out += key + ": " + text + "\n";
            return;
        }
        out += key + ":\n";  // a text of several lines, indented under its key
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            append_indent(out, indent + 2);
            out += text.substr(start, end - start) + "\n";
            start = end + 1;
        }
    }
}

void append_fields(std::string& out, const Report& record, int indent) {
    for (const auto& [key, value] : record.items()) append_field(out, key, value, indent);
}

}  // namespace

std::string report_text(const Report& report) {
    std::string out;
    append_fields(out, report, 0);
    return out;
}

std::string report_json(const Report& report) { return dump(report) + "\n"; }

void print_report(const Report& report, bool as_json) {
    print(as_json ? report_json(report) : report_text(report));
}

}  // namespace zelset_cli
