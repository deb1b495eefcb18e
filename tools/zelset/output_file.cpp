#include "output_file.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>

#include "platform/platform.h"

namespace zelset_cli {

namespace fs = std::filesystem;

namespace {

// As the systems bound a chain of links.
constexpr int kMaxLinkHops = 40;
// Tries at a free temporary name; each fails only when a file of that name exists.
constexpr int kMaxNameTries = 100;

// The file that writing to target writes: target with every link followed,
// also a last link to a file that does not exist yet.
fs::path follow_links(const std::string& target) {
    fs::path path = target;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
        fs::path next = fs::read_symlink(path, error);
        if (error) throw Failure(target, "cannot read the link: " + error.message());
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    throw Failure(target, "too many levels of symbolic links");
}

bool has_write_permission(fs::perms perms) {
    return (perms & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) != fs::perms::none;
}

std::string random_suffix(std::mt19937_64& random) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(random()));
    return text;
}

}  // namespace

OutputFile::OutputFile(std::string target) : target_(std::move(target)) {
    fs::path replaced = follow_links(target_);
    replaced_ = replaced.string();
    std::error_code error;
    fs::file_status status = fs::status(replaced, error);
    if (fs::is_directory(status)) throw Failure(target_, "is a folder, not a file");
    bool exists = fs::exists(status);
    if (exists && !has_write_permission(status.permissions())) {
        throw Failure(target_, "is read-only (no write permission); it is not replaced");
    }
    std::random_device seed;
    std::mt19937_64 random((static_cast<std::uint64_t>(seed()) << 32) ^ seed());
    const std::string stem = replaced_ + ".zelset-";
    for (int attempt = 0; attempt < kMaxNameTries && temporary_.empty(); ++attempt) {
        std::string name = stem + random_suffix(random) + ".tmp";
        errno = 0;
        int created = zel::create_new_file(name.c_str());
        if (created == 0) temporary_ = name;
        if (created == -2) {
            fs::path folder = replaced.parent_path();
            throw Failure(target_, "cannot create a file in " + (folder.empty() ? std::string(".") : folder.string()) +
                                       os_reason());
        }
    }
    if (temporary_.empty()) throw Failure(target_, "no free temporary name beside it");
    // A replaced file keeps who may read it.
    if (exists) fs::permissions(temporary_, status.permissions() & fs::perms::all, error);
}

OutputFile::~OutputFile() {
    if (!committed_ && !temporary_.empty()) zel::remove_file(temporary_.c_str());
}

void OutputFile::commit() {
    errno = 0;
    std::FILE* f = std::fopen(temporary_.c_str(), "ab");
    if (!f) throw Failure(target_, "cannot reopen the written file" + os_reason());
    bool flushed = zel::flush_to_disk(f) == 0;
    std::string reason = os_reason();
    bool closed = std::fclose(f) == 0;
    if (!flushed || !closed) throw Failure(target_, "cannot write" + (flushed ? os_reason() : reason));
    errno = 0;
    if (zel::replace_file(temporary_.c_str(), replaced_.c_str()) != 0) {
        throw Failure(target_, "cannot replace it" + os_reason());
    }
    committed_ = true;
}

}  // namespace zelset_cli
