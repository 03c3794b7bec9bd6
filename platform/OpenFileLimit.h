#pragma once

// Every client connection and every query holds a file descriptor; the system's usual soft
// limit (1,024) is far below what a busy service needs, while the hard limit is not.
namespace utq::platform {

// Raises this process's open-file limit to its hard limit; the limit now in force.
long raiseOpenFileLimit();

} // namespace utq::platform
