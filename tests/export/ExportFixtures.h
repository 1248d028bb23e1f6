#pragma once

#include "export/ExportRegistry.h"
#include "export/TreeTypesExport.h"
#include "model/FileSystemNode.h"

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
    AddChild(parent, std::move(file));
}

// /data (7077888 bytes, 24 files) holds Docs (1572864, 10) and Music (5242880, 12); Docs holds Old
// (1048576, 4). A file node between Docs and Music and a file group after Old change nothing.
struct WorkedExample {
    TRootDirNode root;
    TDirNode* docs = nullptr;
    TDirNode* old = nullptr;
    TDirNode* music = nullptr;

    WorkedExample() {
        root.SetName("/data");
        root.SetSize(7077888);
        root.SetFileCount(24);
        docs = Dir(&root, "Docs", 1572864, 10);
        old = Dir(docs, "Old", 1048576, 4);
        TFileGroupNode* group = GetFileGroup(docs);
        group->SetSize(524288);
        group->SetFileCount(6);
        File(&root, "readme.txt", 262144);
        music = Dir(&root, "Music", 5242880, 12);
    }
};

// The export of `root` by the registry's class at `index`, with a fixed decimal separator.
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
    for (int i = 0; i < ExportRegistry().Count(); ++i) {
        if (ExportRegistry().Items(i).GetCommandName() == commandName)
            return ExportRegistry().Items(i);
    }
    throw std::invalid_argument(commandName);
}

} // namespace quorvex::testing
