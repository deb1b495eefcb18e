// Where a command writes its file, decided by what the path names (its
// symbolic links followed):
//   - a regular file, or nothing yet: written under a temporary name beside
//     it, then moved over it in one step (see ReplacedFile), so that the file
//     is whole or not there;
//   - a character device or a FIFO: opened by its path and written directly,
//     never replaced, never removed;
//   - "-": standard output;
//   - a folder, a socket or a block device: refused.
#pragma once

#include <cerrno>
#include <initializer_list>
#include <memory>
#include <string>

#include "failure.h"

namespace zelset_cli {

// What a writer writes to. Each kind is in output_destinations.h.
class Destination {
public:
    virtual ~Destination() = default;
    // The path the library's writer opens ("wb") and writes.
    virtual const std::string& writer_path() const = 0;
    // Puts what was written in place; throws Failure when it cannot.
    virtual void commit() = 0;
};

class Output {
public:
    // "-" as an output name: standard output.
    static constexpr const char* kStandardOutputName = "-";

    // Throws Failure when target is a folder, a socket or a block device, or
    // when what writing it needs (a temporary file, a link) cannot be made.
    explicit Output(std::string target);
    ~Output();
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // The output as messages name it: the path as given, or "standard output".
    const std::string& name() const { return name_; }

    // Runs write(path), a library call that writes the whole file at path and
    // returns 0 or a status; a failure throws the words the table gives for
    // its status.
    template <class Write>
    void write(Write write, std::initializer_list<StatusWords> table, const char* otherwise) {
        errno = 0;
        int status = write(destination_->writer_path().c_str());
        if (status != 0) throw status_failure(name_, status, table, otherwise);
    }

    // Puts the written file in place (see the kinds above); throws Failure
    // with the system's reason when it cannot.
    void commit() { destination_->commit(); }

private:
    std::string name_;
    std::unique_ptr<Destination> destination_;
};

}  // namespace zelset_cli
