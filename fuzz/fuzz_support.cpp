#include "fuzz_support.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace zel_fuzz {

namespace {

std::filesystem::path scratch_folder() {
    // The agent target flushes every save to disk: memory makes that cheap.
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec)) return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

}  // namespace

ScratchFile::ScratchFile(const char* name)
    : path_((scratch_folder() / ("zel_fuzz_" + std::to_string(getpid()) + "_" + name)).string()) {}

ScratchFile::~ScratchFile() { std::remove(path_.c_str()); }

void ScratchFile::write(const std::uint8_t* data, std::size_t size) const {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    require(f != nullptr);
    bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    require(std::fclose(f) == 0 && written);
}

}  // namespace zel_fuzz
