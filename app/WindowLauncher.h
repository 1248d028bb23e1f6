#pragma once

namespace quorvex {

// Replaces this process by the window program, which lies beside this one in the build tree and in
// libexec/quorvex once installed, with the same arguments. Returns only when that cannot be done: 127, after
// saying why.
int StartWindowProgram(char** argv);

} // namespace quorvex
