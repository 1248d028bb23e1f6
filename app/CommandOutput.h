#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvex {

class TGroupNode;

// Puts /dev/null where standard input, output or error is closed, before anything else is opened:
// otherwise the first file opened would take the number and receive the output meant for it.
// Standard output gets it read-only, so that writing the results fails as on a closed descriptor.
void HoldStandardDescriptors();

// "quorvex: MESSAGE" on standard error, escaped as every printed name is: a message names files,
// and a file name must not forge a line or drive the terminal.
void ReportError(const std::string& message);

// `text` as the whole of standard output, every byte checked. A write that fails (a full disk,
// /dev/full, a closed standard output) is reported with its reason; returns false then.
bool WriteStandardOutput(const std::string& text);

struct TTreeCounts {
    std::int64_t Directories = 0;
    std::int64_t Errors = 0;
    // The directories that could not be read, in the order of the tree.
    std::vector<const TGroupNode*> Unreadable;
};

// Iterative, so a tree 10,000 levels deep does not exhaust the stack.
TTreeCounts CountTree(const TGroupNode* root);

// Names each unreadable directory on standard error with its reason, as du does.
void ReportUnreadable(const TTreeCounts& counts);

} // namespace quorvex
