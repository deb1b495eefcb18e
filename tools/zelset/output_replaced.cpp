#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "output_destinations.h"
#include "platform/platform.h"

namespace zelset_cli {

namespace fs = std::filesystem;

namespace {

// As the systems bound a chain of links.
constexpr int kMaxLinkHops = 40;

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

}  // namespace

ReplacedFile::ReplacedFile(const std::string& target) : target_(target) {
    fs::path replaced = follow_links(target_);
    replaced_ = replaced.string();
    std::error_code error;
    fs::file_status status = fs::status(replaced, error);
    bool exists = fs::exists(status);
    if (exists && !has_write_permission(status.permissions())) {
        throw Failure(target_, "is read-only (no write permission); it is not replaced");
    }
    const fs::path folder = replaced.parent_path();
    temporary_ = make_at_free_name(
        replaced_ + ".zelset-", [](const std::string& name) { return zel::create_new_file(name.c_str()); }, target_, "a file",
        folder.empty() ? std::string(".") : folder.string());
    // A replaced file keeps who may read it.
    if (exists) fs::permissions(temporary_, status.permissions() & fs::perms::all, error);
}

ReplacedFile::~ReplacedFile() {
    if (!committed_) zel::remove_file(temporary_.c_str());
}

void ReplacedFile::commit() {
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
