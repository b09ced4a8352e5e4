#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace edi::transport {

// Starts the program at `program` (a path, not looked up on PATH) with `arguments` passed as they are - no
// shell parses anything - and returns at once with its process id. The program runs in a session of its own
// with default signal handling, inherits no descriptors beyond stdin, stdout and stderr, and is reaped when
// it ends. `workingDirectory` empty: the caller's. Throws IoError when it cannot be started.
pid_t startProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments = {},
                   const std::filesystem::path& workingDirectory = {});

} // namespace edi::transport
