// What a file is, told by its first bytes, never by its name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zelset_cli {

enum class FileKind {
    kAlembic,      // the Ogawa container
    kHdf5Alembic,  // an older Alembic archive in HDF5, which is not read
    kUnit,
    kTokenArchive,
    kMeshCache,
    kAgentDirectory,
    kEmpty,
    kUnknown,
};

// The first bytes of a file.
struct FileHead {
    unsigned char bytes[16] = {};
    std::size_t size = 0;  // how many the file has, up to 16
};

// Reads the first bytes of path; throws Failure with the system's reason when
// it cannot be opened or read.
FileHead read_head(const std::string& path);

FileKind file_kind_of(const FileHead& head);

// "unit file", "mesh cache", ...
const char* file_kind_name(FileKind kind);

// The record count that unit files and agent directories keep at byte 8 of
// their header; nothing when the file is shorter.
std::optional<std::uint32_t> header_count(const FileHead& head);

// Throws Failure in words unless path is an Alembic archive in the Ogawa
// container.
void require_ogawa(const std::string& path);

}  // namespace zelset_cli
