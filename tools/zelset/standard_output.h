// Standard output, written so that no lost byte goes unnoticed: every write is
// flushed and checked at once, and the stream is checked again at exit.
#pragma once

#include <string>

namespace zelset_cli {

// Writes text and flushes it; throws Failure with the system's reason when
// any of it cannot be written (a full disk, a closed pipe, /dev/full).
void print(const std::string& text);

// Closes standard output at the end of the command. Returns exit_code, or,
// when a write was lost that the command did not report, the failure exit
// after one line on standard error.
int finish_standard_output(int exit_code);

}  // namespace zelset_cli
