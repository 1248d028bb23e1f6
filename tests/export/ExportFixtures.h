#pragma once

#include "export/ExportRegistry.h"
#include "export/NcduExport.h"
#include "export/TreeTypesExport.h"
#include "model/RootNodes.h"
#include "model/TreeOperations.h"

#include <memory>
#include <sstream>
#include <string>

namespace quorvex::testing {

inline TDirNode* Dir(TGroupNode* parent, const std::string& name, std::int64_t size, std::int32_t files) {
    TDirNode* dir = AddDirNode(parent, name, faDirectory);
    dir->SetSize(size);
    dir->SetFileCount(files);
    return dir;
}

inline void File(TGroupNode* parent, const std::string& name, std::int64_t size) {
    auto file = std::make_unique<TFileNode>();
    file->SetName(name);
    file->SetSize(size);
    parent->AddChild(std::move(file));
}

// A small tree whose export in every format is known byte for byte, with a file node and a file
// group that must write nothing.
struct WorkedExample {
    TRootDirNode root;
    TDirNode* old = nullptr;

    WorkedExample() {
        root.SetName("/data");
        root.SetSize(7077888);
        root.SetFileCount(24);
        TDirNode* docs = Dir(&root, "Docs", 1572864, 10);
        old = Dir(docs, "Old", 1048576, 4);
        TFileGroupNode* group = docs->GetFileGroup();
        group->SetSize(524288);
        group->SetFileCount(6);
        File(group, "grouped.bin", 524288);
        File(&root, "readme.txt", 262144);
        Dir(&root, "Music", 5242880, 12);
    }
};

// The export of `root` by `exportClass`, with a fixed decimal separator.
inline std::string ExportText(const TExportClass& exportClass, const TFileSystemNode* root,
                              TSizeFormatter formatter = nullptr, char separator = '.') {
    const auto exporter = exportClass.Create(root);
    exporter->SetSizeFormatter(formatter);
    exporter->SetDecimalSeparator(separator);
    std::ostringstream out;
    exporter->ExportToStream(out);
    return out.str();
}

inline const TExportClass& Format(const std::string& commandName) {
    for (int i = 0; i < ExportRegistry().Count(); ++i)
        if (ExportRegistry().Items(i).GetCommandName() == commandName)
            return ExportRegistry().Items(i);
    throw std::invalid_argument(commandName);
}

// The ncdu export without its header, which holds the time of writing.
inline std::string NcduBody(const TFileSystemNode* root) {
    TNcduExport exporter(root);
    std::ostringstream out;
    exporter.ExportToStream(out);
    return out.str().substr(out.str().find('\n'));
}

} // namespace quorvex::testing
