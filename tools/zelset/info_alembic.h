// The report on an Alembic archive.
#pragma once

#include <string>

#include "progress.h"
#include "report.h"

namespace zelset_cli {

Report alembic_report(const std::string& path, const Progress& progress);

}  // namespace zelset_cli
