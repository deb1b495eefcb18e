// The report on an Alembic archive: its metadata, time samplings and object
// tree, printed object by object as it is read, as text or as JSON.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ogawa_reader.h"

#include "progress.h"
#include "report.h"

namespace zelset_cli {

struct TreeRequest {
    bool properties = false;    // each object's properties under it
    std::uint32_t depth = 0;    // levels of the tree shown; 0 for all
    std::string object;         // the subtree of this full path; "" for the whole tree
};

// An object's properties as the reader lists them, in pre-order, a compound
// before what it holds (depth 1 on top); the texts are the archive's.
struct ObjectProperties {
    bool shown = false;     // asked for (--properties)
    bool readable = true;   // their headers decode
    std::vector<ogawa_property_info_t> list;
};

const char* property_kind_name(std::uint32_t kind);  // "compound", "scalar", "array"
const char* pod_name(std::uint32_t pod);             // "float32", "uint8", "string", ...
// The value of key in metadata as written ("key=value;..."); empty when absent.
std::string_view metadata_value(std::string_view text, std::string_view key);

// Where the objects of the tree go, one at a time: open(entry, properties,
// level) with the object's fields (no children), its children's open and
// close, then its close. Level 1 is the top of the tree shown.
class TreeSink {
public:
    virtual ~TreeSink() = default;
    // The archive's fields, before the first object; tree_follows is false
    // for an archive without a tree (read by shape), whose report ends there.
    virtual void header(const Report& fields, bool tree_follows) = 0;
    virtual void open(Report object, const ObjectProperties& properties, std::uint32_t level) = 0;
    virtual void close(std::uint32_t level) = 0;
    virtual void finish() = 0;
};

// The sink that prints the report on standard output: as text, the fields as
// "key: value" lines, then "tree:" and one object a line, two spaces a level;
// as JSON, one document whose "objects" nest their "children". Output leaves
// in blocks as the objects come.
std::unique_ptr<TreeSink> printed_report(bool as_json);

// Reads the archive and gives its report to sink. Throws Failure for a
// damaged archive, and for one the reader cannot describe unless salvage;
// also for an --object path the archive lacks (before any output).
void report_alembic(const std::string& path, bool salvage, const TreeRequest& tree, const Progress& progress,
                    TreeSink& sink);

}  // namespace zelset_cli
