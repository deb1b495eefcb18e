// An Alembic archive's report as text: the object tree one object a line.
#include <cstdio>
#include <string>

#include "info_alembic.h"

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

void append_properties(std::string& out, const Report& properties, std::size_t indent) {
    for (const Report& p : properties) {
        out.append(indent, ' ');
        out += scalar_text(p["name"]) + " " + scalar_text(p["kind"]);
        if (p["kind"] == "compound") {
            out += "\n";
            append_properties(out, p["properties"], indent + 2);
            continue;
        }
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on a chain of + here.
        out.append(" ").append(scalar_text(p["pod"])).append("[").append(scalar_text(p["extent"])).append("], ");
        out.append(samples_text(p["samples"])).append(p["constant"].get<bool>() ? "constant" : "animated");
        if (p.contains("geo_scope")) out += ", geoScope " + scalar_text(p["geo_scope"]);
        out += "\n";
    }
}

void append_object(std::string& out, const Report& o, std::size_t indent) {
    out.append(indent, ' ');
    const std::string schema = o["schema"].get<std::string>();
    out += scalar_text(o["name"]) + " " + (schema.empty() ? "(no schema)" : schema);
    if (o.contains("instance_of")) out += " -> " + scalar_text(o["instance_of"]);
    out.append(", ").append(samples_text(o["samples"])).append(range_text(o["time_range"])).append(mesh_text(o));
    out += "\n";
    if (o.contains("properties")) append_properties(out, o["properties"], indent + 2);
    if (o.contains("properties_error")) {
        out.append(indent + 2, ' ');
        out += scalar_text(o["properties_error"]) + "\n";
    }
    for (const Report& child : o["children"]) append_object(out, child, indent + 2);
}

}  // namespace

std::string alembic_text(const Report& report) {
    if (!report.contains("objects")) return report_text(report);
    Report header = report;
    header.erase("objects");
    std::string out = report_text(header) + "tree:\n";
    for (const Report& o : report["objects"]) append_object(out, o, 0);
    return out;
}

}  // namespace zelset_cli
