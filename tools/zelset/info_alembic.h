// The report on an Alembic archive: its metadata, time samplings and object
// tree, as one JSON value and as text.
#pragma once

#include <cstdint>
#include <string>

#include "progress.h"
#include "report.h"

namespace zelset_cli {

struct TreeRequest {
    bool properties = false;    // each object's properties under it
    std::uint32_t depth = 0;    // levels of the tree shown; 0 for all
    std::string object;         // the subtree of this full path; "" for the whole tree
};

// Throws Failure for a damaged archive, and for one the reader cannot
// describe unless salvage; also for an --object path the archive lacks.
Report alembic_report(const std::string& path, bool salvage, const TreeRequest& tree, const Progress& progress);

// The report as text: the header as "key: value" lines, then the tree, one
// object a line, two spaces a level, top-level objects in column 0.
std::string alembic_text(const Report& report);

}  // namespace zelset_cli
