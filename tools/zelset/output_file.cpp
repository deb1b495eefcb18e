#include "output_file.h"

#include "failure.h"
#include "platform/platform.h"

namespace zelset_cli {

OutputFile::OutputFile(std::string target)
    : target_(std::move(target)), temporary_(target_ + ".zelset-tmp") {}

OutputFile::~OutputFile() {
    if (!committed_) zel::remove_file(temporary_.c_str());
}

void OutputFile::commit() {
    int rc = zel::replace_file(temporary_.c_str(), target_.c_str());
    if (rc != 0) throw call_failed(target_, "replace_file", rc);
    committed_ = true;
}

}  // namespace zelset_cli
