// Standard output, written so that no lost byte goes unnoticed: every write is
// flushed and checked at once, and the stream is checked again at exit.
#pragma once

#include <cstddef>
#include <string>

namespace zelset_cli {

// Writes text and flushes it; throws Failure with the system's reason when
// any of it cannot be written (a full disk, a closed pipe, a full device).
void print(const std::string& text);
void print_bytes(const char* data, std::size_t size);

// Standard output passes bytes as they are (Windows would otherwise turn
// every byte 10 into 13 10); a no-op elsewhere.
void use_binary_standard_output();

// Closes standard output at the end of the command. Returns exit_code, or,
// when a write was lost that the command did not report, the failure exit
// after one line on standard error.
int finish_standard_output(int exit_code);

}  // namespace zelset_cli
