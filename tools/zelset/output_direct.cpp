#include <cstdio>
#include <filesystem>
#include <vector>

#include "output_destinations.h"
#include "platform/platform.h"
#include "standard_output.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace zelset_cli {

namespace fs = std::filesystem;

namespace {

// Bytes a copy to standard output moves at a time.
constexpr std::size_t kCopyBlock = 1 << 16;

}  // namespace

#ifdef _WIN32
// A device or pipe name of Windows cannot be removed as a file is: the writer
// takes it as it is.
DeviceOrFifo::DeviceOrFifo(const std::string& target) : writer_path_(target) {}
#else
DeviceOrFifo::DeviceOrFifo(const std::string& target) {
    const std::string folder = temporary_folder(target);
    const std::string to = fs::absolute(target).string();
    writer_path_ = make_at_free_name(
        (fs::path(folder) / "zelset-").string(),
        [&to](const std::string& name) {
            if (::symlink(to.c_str(), name.c_str()) == 0) return 0;
            return errno == EEXIST ? -1 : -2;
        },
        target, "a link", folder);
    own_link_ = true;
}
#endif

DeviceOrFifo::~DeviceOrFifo() {
    if (own_link_) zel::remove_file(writer_path_.c_str());
}

StandardOutputCopy::StandardOutputCopy() {
    const char* const name = "standard output";
    const std::string folder = temporary_folder(name);
    staging_ = make_at_free_name(
        (fs::path(folder) / "zelset-").string(),
        [](const std::string& path) { return zel::create_new_file(path.c_str()); }, name, "a file", folder);
}

StandardOutputCopy::~StandardOutputCopy() { zel::remove_file(staging_.c_str()); }

void StandardOutputCopy::commit() {
    errno = 0;
    std::FILE* in = std::fopen(staging_.c_str(), "rb");
    if (!in) throw Failure(staging_, "cannot read the written file back" + os_reason());
    std::vector<char> block(kCopyBlock);
    use_binary_standard_output();
    try {
        for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), in)) > 0;) print_bytes(block.data(), n);
    } catch (...) {
        std::fclose(in);
        throw;
    }
    const bool read_whole = std::ferror(in) == 0;
    std::fclose(in);
    if (!read_whole) throw Failure(staging_, "cannot read the written file back");
}

}  // namespace zelset_cli
