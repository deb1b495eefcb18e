// An output file put in place whole or not at all.
//
// The writer writes a temporary file of a unique name, created exclusively in
// the target's folder; commit flushes it to the disk and renames it over the
// target in one step. So concurrent writers of one target each leave a whole
// file, a failure at any point leaves the target as it was, and no temporary
// file stays behind. A target that is a symbolic link has the file it points
// to replaced (the link stays); an existing target without any write
// permission (on Windows: read-only) is refused, not replaced.
#pragma once

#include <cerrno>
#include <initializer_list>
#include <string>

#include "failure.h"

namespace zelset_cli {

class OutputFile {
public:
    // Throws Failure when the target is read-only or a folder, or when no
    // temporary file can be created beside it.
    explicit OutputFile(std::string target);
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::string& target() const { return target_; }

    // Runs write(temporary path), a library call that returns 0 or a status;
    // a failure throws the words the table gives for its status.
    template <class Write>
    void write(Write write, std::initializer_list<StatusWords> table, const char* otherwise) {
        errno = 0;
        int status = write(temporary_.c_str());
        if (status != 0) throw status_failure(target_, status, table, otherwise);
    }

    // Flushes the temporary file to the disk and moves it over the target;
    // throws Failure with the system's reason when it cannot.
    void commit();

private:
    std::string target_;     // as given, for messages
    std::string replaced_;   // the file replaced: the target, its links followed
    std::string temporary_;  // in the folder of replaced_
    bool committed_ = false;
};

}  // namespace zelset_cli
