// The report on an Alembic archive.
#pragma once

#include <string>

#include "progress.h"
#include "report.h"

namespace zelset_cli {

// Throws Failure for a damaged archive, and for one the reader cannot
// describe unless salvage.
Report alembic_report(const std::string& path, bool salvage, const Progress& progress);

}  // namespace zelset_cli
