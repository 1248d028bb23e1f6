#include "export/TextExports.h"

#include "i18n/Translation.h"
#include "i18n/TranslationMarkers.h"
#include "model/TreeOperations.h"

namespace quorvex {
namespace {

constexpr const char* kLineEnd = "\r\n";

bool IsDirectoryNode(const TFileSystemNode* node) {
    return dynamic_cast<const TDirNode*>(node) != nullptr;
}

bool HasLaterDirectorySibling(const TFileSystemNode* node) {
    return FindNextSibling(node, IsDirectoryNode) != nullptr;
}

const char* Column(bool hasLaterSibling) {
    return hasLaterSibling ? "   |" : "    ";
}

// The columns of all ancestors, root first, straight from the tree.
std::string TreePrefix(const TFileSystemNode* node) {
    std::vector<const TFileSystemNode*> ancestors;
    for (const TFileSystemNode* p = node->Parent(); p != nullptr; p = p->Parent())
        ancestors.push_back(p);
    std::string prefix;
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it)
        prefix += Column(HasLaterDirectorySibling(*it));
    return prefix;
}

const TFileSystemNode* LastDirectoryChild(const TGroupNode* group) {
    TChildrenLock guard(group);
    const TMemNodeList& children = guard.Children();
    for (int i = children.Count() - 1; i >= 0; --i) {
        if (IsDirectoryNode(children.Items(i)))
            return children.Items(i);
    }
    return nullptr;
}

} // namespace

std::string CsvField(const std::string& text, char separator) {
    if (text.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string EscapeLineBreaks(const std::string& text) {
    if (text.find_first_of("\r\n") == std::string::npos)
        return text;
    std::string out;
    out.reserve(text.size() + 8);
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

// ---- TCsvTextExport -------------------------------------------------------------------------

std::string TCsvTextExport::GetDescription() {
    return TranslateText("CSV (Comma separated)");
}

void TCsvTextExport::WriteNode(const TFileSystemNode* node, std::ostream& stream) {
    // Unknown figures are left out rather than written as zeros a reader would add up.
    if (WasNotScanned(node)) {
        WriteText(stream, CsvField(GetFullPath(node), separator_) + separator_ + separator_ + kLineEnd);
        return;
    }
    const std::string line = CsvField(GetFullPath(node), separator_) + separator_ +
                             SizeText(node->GetSize(SizeKind())) + separator_ +
                             std::to_string(node->GetFileCount()) + kLineEnd;
    WriteText(stream, line);
}

// ---- TTextTreeExport ------------------------------------------------------------------------

std::string TTextTreeExport::GetDescription() {
    return TranslateText("Text File (Tree Structure)");
}

std::string TTextTreeExport::NodeText(const TFileSystemNode* node) const {
    if (WasNotScanned(node))
        return EscapeLineBreaks(node->Name()) + "   (" + TranslateText("not scanned") + ")";
    const std::int32_t count = node->GetFileCount();
    return EscapeLineBreaks(node->Name()) + "   (" + SizeText(node->GetSize(SizeKind())) + ", " +
           std::to_string(count) + " " + TranslateText(count == 1 ? N_("File") : N_("Files")) + ")";
}

void TTextTreeExport::WriteNode(const TFileSystemNode* node, std::ostream& stream) {
    lastWritten_ = node;
    if (node->Parent() == nullptr) {
        lastHasNext_ = false;
        WriteText(stream, "   " + NodeText(node) + kLineEnd);
        return;
    }
    const bool fromWalk = !levels_.empty() && levels_.back().group == node->Parent();
    lastHasNext_ = fromWalk ? node != levels_.back().lastDirectory : HasLaterDirectorySibling(node);
    std::string line = fromWalk ? prefix_ : TreePrefix(node);
    line += lastHasNext_ ? "   |-- " : "   `-- ";
    line += NodeText(node);
    line += kLineEnd;
    WriteText(stream, line);
}

void TTextTreeExport::BeginChildren(std::ostream& /*stream*/) {
    const auto* group = dynamic_cast<const TGroupNode*>(lastWritten_);
    if (group == nullptr)
        return;
    if (levels_.empty())
        prefix_ = TreePrefix(group);
    prefix_ += Column(lastHasNext_);
    levels_.push_back({group, LastDirectoryChild(group)});
}

void TTextTreeExport::EndChildren(std::ostream& /*stream*/) {
    if (levels_.empty())
        return;
    levels_.pop_back();
    prefix_.resize(prefix_.size() - 4);
}

} // namespace quorvex
