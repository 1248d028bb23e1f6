#include "CommandOutput.h"

#include "i18n/CLibraryMessages.h"
#include "i18n/Translation.h"
#include "model/TreeOperations.h"
#include "support/PosixDir.h"
#include "support/PrintableText.h"
#include "support/SafeFileWriter.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace quorvex {

void HoldStandardDescriptors() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int held = ::open("/dev/null", fd == STDERR_FILENO ? O_WRONLY : O_RDONLY);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
}

void ReportError(const std::string& message) {
    std::fprintf(stderr, "quorvex: %s\n", PrintableText(message).c_str());
}

bool WriteStandardOutput(const std::string& text) {
    try {
        TSafeFileWriter out(STDOUT_FILENO, TranslateText("standard output"));
        out.Write(text);
        out.Commit();
        return true;
    } catch (const EFileWriteError& error) {
        ReportError(Substitute(TranslateText("write error: %s"), error.what()));
        return false;
    }
}

TTreeCounts CountTree(const TGroupNode* root) {
    TTreeCounts counts;
    std::vector<const TGroupNode*> todo{root};
    while (!todo.empty()) {
        const TGroupNode* node = todo.back();
        todo.pop_back();
        if (node->GetNodeType() == ntFileGroup)
            continue;
        ++counts.Directories;
        if (node->ErrorCode() != 0) {
            ++counts.Errors;
            counts.Unreadable.push_back(node);
        }
        TChildrenLock guard(node);
        const TMemNodeList& children = guard.Children();
        // Pushed last to first, so that they come off the stack in the order of the list.
        for (int i = children.Count() - 1; i >= 0; --i) {
            if (auto* group = dynamic_cast<const TGroupNode*>(children.Items(i)))
                todo.push_back(group);
        }
    }
    return counts;
}

void ReportUnreadable(const TTreeCounts& counts) {
    for (const TGroupNode* node : counts.Unreadable)
        ReportError(GetFullPath(node) + ": " + SystemErrorMessage(node->ErrorCode()));
}

} // namespace quorvex
