// What a file is, told by its first bytes, never by its name.
#pragma once

#include <string>

namespace zelset_cli {

enum class FileKind { kAlembic, kUnit, kTokenArchive, kMeshCache, kAgentDirectory, kUnknown };

// Reads the first bytes of path; throws Failure when it cannot be opened.
FileKind file_kind_of(const std::string& path);

const char* file_kind_name(FileKind kind);

}  // namespace zelset_cli
