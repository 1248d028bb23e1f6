#include "export/ExportAction.h"

#include "diag/QxLogger.h"
#include "export/ExportRegistry.h"
#include "i18n/ErrorDialogs.h"

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

bool SaveExportToFile(const TExportClass& exportClass, const TFileSystemNode* root,
                      const std::string& fileName, int fileSizeRounding, TSizeKind kind) {
    try {
        const auto exporter = exportClass.Create(root);
        exporter->SetSizeFormatter(ExportSizeFormatter(exportClass, fileSizeRounding));
        exporter->SetSizeKind(kind);
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
