// The kinds of Destination an Output writes to (output.h).
#pragma once

#include <functional>
#include <string>

#include "output.h"

namespace zelset_cli {

// A regular file put in place whole or not at all. The writer writes a
// temporary file of a unique name, created exclusively in the target's
// folder; commit flushes it to the disk and renames it over the target in
// one step. So concurrent writers of one target each leave a whole file, a
// failure at any point leaves the target as it was, and no temporary file
// stays behind. A target that is a symbolic link has the file it points to
// replaced (the link stays); an existing target without any write permission
// (on Windows: read-only) is refused, not replaced.
class ReplacedFile : public Destination {
public:
    explicit ReplacedFile(const std::string& target);
    ~ReplacedFile() override;  // removes the temporary file unless committed
    const std::string& writer_path() const override { return temporary_; }
    void commit() override;

private:
    std::string target_;     // as given, for messages
    std::string replaced_;   // the file replaced: the target, its links followed
    std::string temporary_;  // in the folder of replaced_
    bool committed_ = false;
};

// A character device or a FIFO, written where it is. On POSIX systems the
// writer reaches it through a symbolic link of a unique name in the
// temporary folder, removed afterwards: a writer that deletes its file when a
// write fails then deletes that link, never the device.
class DeviceOrFifo : public Destination {
public:
    explicit DeviceOrFifo(const std::string& target);
    ~DeviceOrFifo() override;
    const std::string& writer_path() const override { return writer_path_; }
    void commit() override {}  // the writer wrote it, and checked every write

private:
    std::string writer_path_;
    bool own_link_ = false;
};

// Standard output: the writer writes a temporary file in the temporary
// folder, which commit copies to standard output, every write checked, and
// which goes in every case.
class StandardOutputCopy : public Destination {
public:
    StandardOutputCopy();
    ~StandardOutputCopy() override;
    const std::string& writer_path() const override { return staging_; }
    void commit() override;

private:
    std::string staging_;
};

// Makes something new at a free name stem + 16 hex digits + ".tmp": make(name)
// returns 0 when it made it, -1 when the name is taken, -2 on any other
// failure (errno says why). Returns the name. Throws Failure naming target,
// what was made ("a file") and folder on failure, or when no name is free.
std::string make_at_free_name(const std::string& stem, const std::function<int(const std::string&)>& make,
                              const std::string& target, const char* what, const std::string& folder);

// The system's folder for temporary files (TMPDIR, TMP, ...); throws Failure
// naming target when there is none.
std::string temporary_folder(const std::string& target);

}  // namespace zelset_cli
