#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <thread>

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

#ifdef _WIN32
// Windows refuses to replace a file while another process is replacing it
// (access denied): two conversions to one target meet there. The other
// replace takes milliseconds; a refusal that lasts is a real one.
constexpr int kReplaceTries = 100;
constexpr std::chrono::milliseconds kReplacePause{10};
#else
constexpr int kReplaceTries = 1;  // a rename replaces in one step, whoever else renames
constexpr std::chrono::milliseconds kReplacePause{0};
#endif

// Moves source over target; false with errno holding the reason.
bool replace_with_retries(const std::string& source, const std::string& target) {
    for (int attempt = 1;; ++attempt) {
        errno = 0;
        if (zel::replace_file(source.c_str(), target.c_str()) == 0) return true;
        if (errno != EACCES || attempt == kReplaceTries) return false;
        std::this_thread::sleep_for(kReplacePause);
    }
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
    if (!replace_with_retries(temporary_, replaced_)) throw Failure(target_, "cannot replace it" + os_reason());
    committed_ = true;
}

}  // namespace zelset_cli
