#pragma once

#include "export/TreeTypesExport.h"

#include <string>
#include <vector>

namespace quorvex {

class TGroupNode;

// One line per directory: full path, size in bytes, file count. Paths holding the separator, a
// double quote, CR or LF are quoted with inner quotes doubled, so any CSV reader gets them back.
class TCsvTextExport : public TTextExport {
public:
    explicit TCsvTextExport(const TFileSystemNode* root) : TTextExport(root) {}

    static std::string GetFileExtension() { return ".csv"; }
    static std::string GetDescription();
    static std::string GetCommandName() { return "csv"; }

    char Separator() const { return separator_; }
    void SetSeparator(char separator) { separator_ = separator; }

protected:
    void WriteNode(const TFileSystemNode* node, std::ostream& stream) override;

private:
    char separator_ = ',';
};

// The directories as an indented tree drawn with ASCII connectors, sizes in the user's style.
class TTextTreeExport : public TTextExport {
public:
    explicit TTextTreeExport(const TFileSystemNode* root) : TTextExport(root) {}

    static std::string GetFileExtension() { return ".txt"; }
    static std::string GetDescription();
    static int GetDefaultSizeRounding() { return 2; }
    static std::string GetCommandName() { return "txt"; }

protected:
    void BeginChildren(std::ostream& stream) override;
    void EndChildren(std::ostream& stream) override;
    void WriteNode(const TFileSystemNode* node, std::ostream& stream) override;

private:
    // The walk tells us which directory's children come next; remembering its last directory child
    // and the columns drawn so far keeps each line O(depth) instead of rescanning sibling lists.
    struct Level {
        const TGroupNode* group;
        const TFileSystemNode* lastDirectory;
    };

    std::string NodeText(const TFileSystemNode* node) const;

    const TFileSystemNode* lastWritten_ = nullptr;
    bool lastHasNext_ = false;
    std::vector<Level> levels_;
    std::string prefix_; // one 4-character column per level in levels_
};

// Field text as RFC 4180 has it: quoted only when it must be.
std::string CsvField(const std::string& text, char separator);
// A name on one tree line: CR and LF shown as \r and \n.
std::string EscapeLineBreaks(const std::string& text);

} // namespace quorvex
