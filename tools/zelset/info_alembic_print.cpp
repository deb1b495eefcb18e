// An Alembic archive's report printed as it comes: as text, one object a
// line; as JSON, one document written piece by piece.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "info_alembic.h"
#include "scene.h"
#include "standard_output.h"

namespace zelset_cli {

namespace {

// Times and bounds to six digits, as a reader of a tree wants them.
std::string short_number(const Report& value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value.get<double>());
    return text;
}

std::string range_text(const Report& range) {
    if (range.is_string()) return range.get<std::string>();
    return short_number(range["start"]) + " to " + short_number(range["end"]);
}

// "1 sample, " or "N samples, ".
std::string samples_text(const Report& samples) {
    return scalar_text(samples) + (samples == 1 ? " sample, " : " samples, ");
}

std::string point_text(const Report& xyz) {
    return short_number(xyz[0]) + " " + short_number(xyz[1]) + " " + short_number(xyz[2]);
}

std::string mesh_text(const Report& o) {
    if (o.contains("error")) return ", " + o["error"].get<std::string>();
    if (!o.contains("vertices")) return "";
    std::string out = ", vertices " + scalar_text(o["vertices"]) + ", faces " + scalar_text(o["faces"]) +
                      ", normals " + scalar_text(o["normals"]) + ", uv sets";
    if (o["uv_sets"].empty()) out += " none";
    for (const Report& set : o["uv_sets"]) {
        out.append(" ").append(scalar_text(set["name"])).append(" (").append(scalar_text(set["scope"])).append(")");
    }
    const Report& b = o["bounds"];
    return out + ", bounds " + point_text(b["min"]) + " to " + point_text(b["max"]);
}

// "1 sample" or "N samples".
std::string samples_text(std::uint32_t samples) {
    return std::to_string(samples) + (samples == 1 ? " sample" : " samples");
}

// One line a property, two spaces a level under the object's line.
void append_properties(std::string& out, const ObjectProperties& properties, std::size_t indent) {
    if (!properties.readable) {
        out.append(indent + 2, ' ');
        out += kUnreadableProperties;
        out += "\n";
        return;
    }
    for (const ogawa_property_info_t& p : properties.list) {
        out.append(indent + 2 * static_cast<std::size_t>(p.depth), ' ');
        out.append(p.name).append(" ").append(property_kind_name(p.kind));
        if (p.kind != 0) {
            out.append(" ").append(pod_name(p.pod)).append("[").append(std::to_string(p.extent)).append("], ");
            out.append(samples_text(p.sample_count)).append(p.stored_count <= 1 ? ", constant" : ", animated");
            const std::string_view scope = metadata_value(p.metadata, "geoScope");
            if (!scope.empty()) out.append(", geoScope ").append(scope);
        }
        out += "\n";
    }
}

// The object's line, then its properties when they are shown.
void append_object(std::string& out, const Report& o, const ObjectProperties& properties, std::size_t indent) {
    out.append(indent, ' ');
    const std::string& schema = o["schema"].get_ref<const std::string&>();
    out += scalar_text(o["name"]) + " " + (schema.empty() ? "(no schema)" : schema);
    if (o.contains("instance_of")) out += " -> " + scalar_text(o["instance_of"]);
    out.append(", ").append(samples_text(o["samples"])).append(range_text(o["time_range"])).append(mesh_text(o));
    out += "\n";
    if (properties.shown) append_properties(out, properties, indent);
}

// The properties nested as JSON: a compound holds its own under "properties".
Report property_tree(const ObjectProperties& properties) {
    Report top = Report::array();
    std::vector<Report*> open = {&top};  // open[d]: where properties of depth d + 1 go
    for (const ogawa_property_info_t& p : properties.list) {
        open.resize(std::min<std::size_t>(p.depth, open.size()));
        Report entry = {{"name", p.name}, {"path", p.path}, {"kind", property_kind_name(p.kind)}};
        if (p.kind == 0) {
            entry["properties"] = Report::array();
        } else {
            entry["pod"] = pod_name(p.pod);
            entry["extent"] = p.extent;
            entry["samples"] = p.sample_count;
            entry["constant"] = p.stored_count <= 1;
            const std::string_view scope = metadata_value(p.metadata, "geoScope");
            if (!scope.empty()) entry["geo_scope"] = scope;
        }
        Report& placed = open.back()->emplace_back(std::move(entry));
        if (p.kind == 0) open.push_back(&placed["properties"]);
    }
    return top;
}

// Output gathered into blocks of about this size, each printed at once.
constexpr std::size_t kBlock = 1 << 16;

class PrintedReport : public TreeSink {
public:
    explicit PrintedReport(bool as_json) : json_(as_json) {}

    void header(const Report& fields, bool tree_follows) override {
        tree_ = tree_follows;
        if (!json_) {
            out_ = report_text(fields) + (tree_ ? "tree:\n" : "");
            return;
        }
        out_ = report_json(fields);
        if (!tree_) return;
        // The document stays open for its objects: "...}\n" becomes "...,"objects":[".
        out_.resize(out_.size() - 2);
        out_ += fields.empty() ? "\"objects\":[" : ",\"objects\":[";
        first_.assign(1, true);
    }

    void open(Report object, const ObjectProperties& properties, std::uint32_t level) override {
        if (!json_) {
            append_object(out_, object, properties, 2 * static_cast<std::size_t>(level - 1));
        } else {
            if (!first_.back()) out_ += ',';
            first_.back() = false;
            if (properties.shown && properties.readable) object["properties"] = property_tree(properties);
            if (properties.shown && !properties.readable) object["properties_error"] = kUnreadableProperties;
            std::string fields = report_json(object);
            fields.resize(fields.size() - 2);  // "}\n"
            out_ += fields;
            out_ += object.empty() ? "\"children\":[" : ",\"children\":[";
            first_.push_back(true);
        }
        if (out_.size() >= kBlock) flush();
    }

    void close(std::uint32_t) override {
        if (!json_) return;
        out_ += "]}";
        first_.pop_back();
    }

    void finish() override {
        if (json_ && tree_) out_ += "]}\n";
        flush();
    }

private:
    void flush() {
        print(out_);
        out_.clear();
    }

    bool json_;
    bool tree_ = false;
    std::string out_;
    std::vector<bool> first_;  // per open list: whether it has no item yet
};

}  // namespace

std::unique_ptr<TreeSink> printed_report(bool as_json) { return std::make_unique<PrintedReport>(as_json); }

}  // namespace zelset_cli
