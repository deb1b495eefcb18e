#include "failure.h"

#include <cerrno>
#include <cstring>

namespace zelset_cli {

std::string os_reason() {
    int error = errno;
    return error ? std::string(": ") + std::strerror(error) : std::string();
}

Failure status_failure(const std::string& file, int status, std::initializer_list<StatusWords> table,
                       const char* otherwise) {
    std::string reason = os_reason();
    for (const StatusWords& entry : table) {
        if (entry.status != status) continue;
        return Failure(file, entry.words + (entry.with_os_reason ? reason : std::string()) + " [status " +
                                 std::to_string(status) + "]");
    }
    return Failure(file, std::string(otherwise) + " [status " + std::to_string(status) + "]");
}

}  // namespace zelset_cli
