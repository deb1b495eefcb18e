// An output written under a temporary name beside its target and put in
// place in one step when complete, so that a failed conversion leaves neither
// a partial file nor a changed target.
#pragma once

#include <string>

namespace zelset_cli {

class OutputFile {
public:
    explicit OutputFile(std::string target);
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Where the writer writes.
    const std::string& temporary() const { return temporary_; }
    // Moves the temporary file over the target; throws Failure when it cannot.
    void commit();

private:
    std::string target_;
    std::string temporary_;
    bool committed_ = false;
};

}  // namespace zelset_cli
