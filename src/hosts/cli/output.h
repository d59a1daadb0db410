// Writing the command line's output files without ever losing one:
// - a new file, or an existing regular one, is written to a temporary name beside it and
//   renamed when complete (keeping the old file's permissions), so a failure never leaves a
//   partial file where the output should be;
// - an output that is a symbolic link writes the file it points to, and the link stays;
// - an existing output that is not a regular file (a device, a FIFO) is written in place and
//   never replaced, and a failed write is an error ("No space left on device");
// - "-" is standard output.
// Every file is first written whole to a temporary file, so any container can go to a
// device, a FIFO or a pipe, which cannot seek.
#pragma once
#include <functional>
#include <string>
#include <vector>

// Writes the whole output into the file it is given; on failure, the reason (without a path).
using produce_t = std::function<bool(const std::string& file, std::string* reason)>;

// Writes an output through produce. On failure, error is one line naming `path`.
bool write_output(const std::string& path, const produce_t& produce, std::string* error);
// Writes bytes as an output.
bool write_bytes(const std::string& path, const void* data, size_t size, std::string* error);

// The files a command reads and writes, each with the role the user knows it by ("IN",
// "--save-state"), for refusing an output that would write over one of them.
struct named_file_t {
  std::string role, path;
};
// Empty when every output is a file of its own; else one line naming the clash: an output
// that is one of the inputs (by any path: another name, a link, a hard link) or another
// output. "-" and files that do not exist yet never clash.
std::string output_clash(const std::vector<named_file_t>& inputs,
                         const std::vector<named_file_t>& outputs);

// Reads standard input to its end into a new temporary file, which the caller removes with
// remove_spooled_input, so that a reader that must seek can take it; false, with the reason,
// when it cannot.
bool spool_standard_input(std::string* file, std::string* error);
void remove_spooled_input(const std::string& file);
