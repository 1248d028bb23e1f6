#include "export/ExportAction.h"

#include "diag/QxLogger.h"
#include "export/ExportRegistry.h"
#include "model/FileSystemNode.h"
#include "support/ErrorDialogs.h"
#include "support/Utilities.h"

#include <filesystem>

namespace quorvex {

TSizeFormatter ExportSizeFormatter(const TExportClass& exportClass, int fileSizeRounding) {
    if (exportClass.GetDefaultSizeRounding() != 2)
        return nullptr;
    switch (fileSizeRounding) {
    case 1:
        return &FormatSizeRounded;
    case 2:
        return &FormatSizeTruncated;
    default:
        return nullptr;
    }
}

int ValidFilterIndex(int lastFilterIndex) {
    return lastFilterIndex >= 1 && lastFilterIndex <= ExportRegistry().Count() ? lastFilterIndex : 1;
}

std::string DefaultExportFolder() {
    const std::string documents = GetSpecialFolder(TSpecialFolder::Documents);
    if (documents.empty())
        return {};
    const std::string folder = IncludeTrailingPathDelimiter(documents) + "Quorvex";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder, error))
        return {};
    return IncludeTrailingPathDelimiter(folder);
}

std::string ProposedExportFileName(const TFileSystemNode* root) {
    return MakeValidFileName(RemoveChars(root->GetDisplayName(), ":"), '_', " ");
}

bool SaveExportToFile(const TExportClass& exportClass, const TFileSystemNode* root,
                      const std::string& fileName, int fileSizeRounding) {
    try {
        const auto exporter = exportClass.Create(root);
        exporter->SetSizeFormatter(ExportSizeFormatter(exportClass, fileSizeRounding));
        exporter->ExportToFile(fileName);
        return true;
    } catch (const std::exception& error) {
        // Logged as every escaped error is, and shown: a lost export must not pass silently.
        ProgramLogger().error(error.what());
        ShowErrorDialog(error.what());
        return false;
    }
}

} // namespace quorvex
