#include "HeadlessCommand.h"

#include "ExportCommand.h"

#include "model/FileSystemNode.h"
#include "model/SizeFormat.h"
#include "scan/DirScanner.h"
#include "support/PosixDir.h"
#include "support/Utilities.h"
#include "support/Version.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace quorvex {
namespace {

constexpr std::int64_t kDefaultGroupThreshold = 1024 * 1024;

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: quorvex [DIRECTORY]\n"
                 "       quorvex --summary PATH\n"
                 "       quorvex --help | --version\n"
                 "\n"
                 "  --summary PATH  scan PATH without a window and print its totals, one \"key: value\" a line\n"
                 "  --help          show this text\n"
                 "  --version       show the version\n");
}

struct TreeCounts {
    std::int64_t directories = 0;
    std::int64_t errors = 0;
};

// Iterative, so a tree 10,000 levels deep does not exhaust the stack.
TreeCounts CountTree(const TGroupNode* root) {
    TreeCounts counts;
    std::vector<const TGroupNode*> todo{root};
    while (!todo.empty()) {
        const TGroupNode* node = todo.back();
        todo.pop_back();
        if (node->GetNodeType() == ntFileGroup)
            continue;
        ++counts.directories;
        if (node->ErrorCode() != 0)
            ++counts.errors;
        TChildrenLock guard(node);
        for (const auto& child : guard.Children()) {
            if (auto* group = dynamic_cast<const TGroupNode*>(child.get()))
                todo.push_back(group);
        }
    }
    return counts;
}

int Summary(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "quorvex: %s: %s\n", path.c_str(), SystemErrorMessage(errno).c_str());
        return 2;
    }
    if (!S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "quorvex: %s: %s\n", path.c_str(), SystemErrorMessage(ENOTDIR).c_str());
        return 2;
    }
    TRootDirNode root;
    root.SetName(ExcludeTrailingPathDelimiter(path));
    TDirScanner scanner(&root);
    scanner.Scan(path, kDefaultGroupThreshold);
    const TreeCounts counts = CountTree(&root);
    const std::int64_t size = root.GetSize();
    std::printf("path: %s\n", GetFullPath(&root).c_str());
    std::printf("size: %lld\n", static_cast<long long>(size));
    std::printf("size_formatted: %s\n", FormatSizeTruncated(size).c_str());
    std::printf("files: %lld\n", static_cast<long long>(root.GetFileCount()));
    std::printf("directories: %lld\n", static_cast<long long>(counts.directories));
    std::printf("errors: %lld\n", static_cast<long long>(counts.errors));
    std::printf("elapsed_seconds: %.3f\n", scanner.ElapsedSeconds());
    if (root.ErrorCode() != 0) {
        std::fprintf(stderr, "quorvex: %s: %s\n", path.c_str(), SystemErrorMessage(root.ErrorCode()).c_str());
        return 1;
    }
    return 0;
}

} // namespace

int RunHeadlessCommand(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return -1;
    const std::string& first = args[0];
    if (first == "--help" || first == "-h") {
        PrintUsage(stdout);
        return 0;
    }
    if (first == "--version") {
        std::printf("quorvex %s\n", kVersionText);
        return 0;
    }
    if (first == "--summary") {
        if (args.size() != 2) {
            std::fprintf(stderr, "quorvex: --summary takes exactly one PATH\n");
            PrintUsage(stderr);
            return 2;
        }
        return Summary(args[1]);
    }
    if (first == "--export")
        return RunExportCommand(args);
    if (!first.empty() && first[0] == '-') {
        std::fprintf(stderr, "quorvex: unknown option %s\n", first.c_str());
        PrintUsage(stderr);
        return 2;
    }
    return -1;
}

} // namespace quorvex
