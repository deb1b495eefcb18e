#include "report.h"

#include <cinttypes>
#include <cmath>
#include <cstdlib>

namespace zelset_cli {

namespace {

void json_string(std::string& out, const std::string& s) {
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);  // UTF-8 passes through
                }
        }
    }
    out += '"';
}

// Shortest text that reads back as the same double; JSON has no NaN or infinity.
std::string number_text(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[32];
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strtod(buf, nullptr) == v) break;
    }
    return buf;
}

void indent_by(std::FILE* out, int indent) { std::fprintf(out, "%*s", indent, ""); }

}  // namespace

Report& Report::add(std::string key, Report value) {
    fields_->emplace_back(std::move(key), std::move(value));
    return *this;
}

Report& Report::append(Report other) {
    for (auto& field : *other.fields_) fields_->push_back(std::move(field));
    return *this;
}

std::string Report::scalar_text() const {
    switch (kind_) {
        case kBool: return unsigned_ ? "yes" : "no";
        case kUnsigned: return std::to_string(unsigned_);
        case kSigned: return std::to_string(signed_);
        case kDouble: return number_text(double_);
        default: return string_;
    }
}

void Report::text_fields(std::FILE* out, int indent) const {
    for (const auto& [key, value] : *fields_) {
        indent_by(out, indent);
        if (value.kind_ == kFields) {
            std::fprintf(out, "%s:\n", key.c_str());
            value.text_fields(out, indent + 2);
        } else if (value.kind_ == kList) {
            std::fprintf(out, "%s: %zu\n", key.c_str(), value.list_->size());
            for (const Report& item : *value.list_) {
                if (item.kind_ == kFields) {
                    indent_by(out, indent + 2);
                    std::fprintf(out, "-\n");
                    item.text_fields(out, indent + 4);
                } else {
                    indent_by(out, indent + 2);
                    std::fprintf(out, "- %s\n", item.scalar_text().c_str());
                }
            }
        } else {
            std::string text = value.scalar_text();
            if (text.find('\n') == std::string::npos) {
                std::fprintf(out, "%s: %s\n", key.c_str(), text.c_str());
            } else {  // a multi-line report, indented under its key
                std::fprintf(out, "%s:\n", key.c_str());
                std::size_t start = 0;
                while (start <= text.size()) {
                    std::size_t end = text.find('\n', start);
                    if (end == std::string::npos) end = text.size();
                    indent_by(out, indent + 2);
                    std::fprintf(out, "%s\n", text.substr(start, end - start).c_str());
                    start = end + 1;
                }
            }
        }
    }
}

void Report::json(std::string& out) const {
    if (kind_ == kFields) {
        out += '{';
        bool first = true;
        for (const auto& [key, value] : *fields_) {
            if (!first) out += ',';
            first = false;
            json_string(out, key);
            out += ':';
            value.json(out);
        }
        out += '}';
    } else if (kind_ == kList) {
        out += '[';
        for (std::size_t i = 0; i < list_->size(); ++i) {
            if (i) out += ',';
            (*list_)[i].json(out);
        }
        out += ']';
    } else if (kind_ == kBool) {
        out += unsigned_ ? "true" : "false";
    } else if (kind_ == kString) {
        json_string(out, string_);
    } else {
        out += scalar_text();
    }
}

void Report::print_text(std::FILE* out) const { text_fields(out, 0); }

void Report::print_json(std::FILE* out) const {
    std::string text;
    json(text);
    std::fprintf(out, "%s\n", text.c_str());
}

}  // namespace zelset_cli
