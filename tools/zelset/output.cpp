#include "output.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>

#include "output_destinations.h"

namespace zelset_cli {

namespace fs = std::filesystem;

namespace {

// Tries at a free name; each fails only when something of that name exists.
constexpr int kMaxNameTries = 100;

std::unique_ptr<Destination> destination_of(const std::string& target) {
    if (target == Output::kStandardOutputName) return std::make_unique<StandardOutputCopy>();
    std::error_code error;  // a path that cannot be examined is left to the writer, which says why
    switch (fs::status(target, error).type()) {
        case fs::file_type::directory: throw Failure(target, "is a folder, not a file");
        case fs::file_type::socket: throw Failure(target, "is a socket; zelset writes files, devices and FIFOs");
        case fs::file_type::block:
            throw Failure(target, "is a block device; zelset does not write over a disk");
        case fs::file_type::character:
        case fs::file_type::fifo: return std::make_unique<DeviceOrFifo>(target);
        default: return std::make_unique<ReplacedFile>(target);
    }
}

}  // namespace

Output::Output(std::string target)
    : name_(target == kStandardOutputName ? "standard output" : target), destination_(destination_of(target)) {}

Output::~Output() = default;

std::string make_at_free_name(const std::string& stem, const std::function<int(const std::string&)>& make,
                              const std::string& target, const char* what, const std::string& folder) {
    std::random_device seed;
    std::mt19937_64 random((static_cast<std::uint64_t>(seed()) << 32) ^ seed());
    for (int attempt = 0; attempt < kMaxNameTries; ++attempt) {
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
        const std::string name = stem + suffix + ".tmp";
        errno = 0;
        const int made = make(name);
        if (made == 0) return name;
        if (made != -1) throw Failure(target, std::string("cannot create ") + what + " in " + folder + os_reason());
    }
    throw Failure(target, "no free temporary name in " + folder);
}

std::string temporary_folder(const std::string& target) {
    std::error_code error;
    const fs::path folder = fs::temp_directory_path(error);
    if (error) throw Failure(target, "no folder for temporary files: " + error.message());
    return folder.string();
}

}  // namespace zelset_cli
