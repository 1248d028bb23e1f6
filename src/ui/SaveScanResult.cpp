#include "ui/SaveScanResult.h"

#include "diag/QxLogger.h"
#include "export/ExportAction.h"
#include "export/ExportRegistry.h"
#include "i18n/ErrorDialogs.h"
#include "i18n/Translation.h"
#include "model/FileSystemNode.h"
#include "settings/QxSettings.h"
#include "shell/DialogPaths.h"
#include "support/PathText.h"
#include "support/Utilities.h"
#include "ui/BusyCursor.h"
#include "ui/MessageDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>

namespace quorvex {
namespace {

QStringList DialogFilters() {
    // The registry's filter is "text|pattern|text|pattern..."; Qt's dialog wants the display texts only.
    const QStringList parts =
        QString::fromStdString(ExportRegistry().GetDialogFilter()).split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters.append(parts[i]);
    return filters;
}

// Qt adds the default suffix only to a name without any dot; a name with a dot of its own, or with
// the suffix of another format, gets the chosen format's suffix appended.
std::string WithSuffix(std::string fileName, const std::string& suffix) {
    if (suffix.empty())
        return fileName;
    const std::string ending = "." + suffix;
    const bool has = fileName.size() > ending.size() &&
                     QByteArray::fromStdString(fileName.substr(fileName.size() - ending.size()))
                             .compare(QByteArray::fromStdString(ending), Qt::CaseInsensitive) == 0;
    return has ? fileName : fileName + ending;
}

std::string FolderOf(const std::string& fileName) {
    const auto slash = fileName.rfind(PathDelim);
    return slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
}

// Remembering the folder and the format is a convenience for the next save: when the INI refuses
// it (a folder name with a line break cannot be stored, or the file cannot be written) the export
// the user asked for still runs, and the reason goes to the log.
void Remember(const std::function<void()>& write) {
    try {
        write();
    } catch (const std::exception& error) {
        ProgramLogger().error("The save dialog's choice could not be remembered", error);
    }
}

} // namespace

std::optional<TSaveFileChoice> ShowSaveFileDialog(QWidget* parent, const TSaveFileRequest& request) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setNameFilters(request.Filters);
    const auto suffixOf = [&request](int filterIndex) {
        return filterIndex >= 1 && filterIndex <= request.Suffixes.size() ? request.Suffixes[filterIndex - 1]
                                                                          : QString();
    };
    int filterIndex = request.FilterIndex;
    if (filterIndex >= 1 && filterIndex <= request.Filters.size())
        dialog.selectNameFilter(request.Filters[filterIndex - 1]);
    dialog.setDefaultSuffix(suffixOf(filterIndex));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        const int chosen = static_cast<int>(request.Filters.indexOf(filter)) + 1;
        if (chosen < 1)
            return;
        filterIndex = chosen;
        dialog.setDefaultSuffix(suffixOf(chosen));
    });
    // Proposed with its suffix: Qt's dialog takes everything after the last dot for one and swaps
    // it on a filter change, which would eat the end of a name such as "v1.2 data".
    QString proposed = request.ProposedName;
    if (!suffixOf(filterIndex).isEmpty())
        proposed += QLatin1Char('.') + suffixOf(filterIndex);
    if (LongestTextualPrefix(request.Directory) == request.Directory) {
        if (!request.Directory.empty())
            dialog.setDirectoryUrl(LocalFileUrl(request.Directory));
        dialog.selectFile(proposed);
    } else {
        // Qt's own dialog cannot enter a folder whose name is not UTF-8: it opens at the nearest
        // folder it can show, with the rest of the way in front of the proposed name, and the
        // choice is matched back to the disk's names below.
        dialog.setDirectoryUrl(LocalFileUrl(LongestTextualPrefix(request.Directory)));
        dialog.selectFile(
            QFile::decodeName(QByteArray::fromStdString(IncludeTrailingPathDelimiter(request.Directory))) +
            proposed);
    }
    TSaveFileChoice choice;
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedUrls().isEmpty())
            return std::nullopt;
        const std::string typed = LocalPathOfUrl(dialog.selectedUrls().front());
        choice.FileName = WithSuffix(MatchNamesOnDisk(typed), suffixOf(filterIndex).toStdString());
        // The dialog asked before replacing only what it could see under the typed text.
        if (choice.FileName == typed || !EntryExists(choice.FileName) ||
            ShowConfirmationDialog(
                Substitute(TranslateText("%s already exists.\nDo you want to replace it?"), choice.FileName)))
            break;
    }
    choice.FilterIndex = filterIndex;
    return choice;
}

std::string ProposedExportName(const std::string& displayName) {
    return MakeValidFileName(RemoveChars(displayName, ":"), '_', " ");
}

std::string DefaultExportFolder() {
    const std::string documents = GetSpecialFolder(TSpecialFolder::Documents);
    if (documents.empty())
        return {};
    std::string folder = IncludeTrailingPathDelimiter(documents) + "Quorvex";
    if (!QDir().mkpath(DecodePath(folder)))
        return {};
    return folder;
}

TSaveResult SaveScanResult(QWidget* parent, TSettings& settings, const TFileSystemNode& root,
                           const SaveFileDialog& dialog) {
    const TExportRegistry& registry = ExportRegistry();
    TSaveFileRequest request;
    request.FilterIndex = ValidFilterIndex(settings.ReadInteger("LastFilterIndex", 1));
    for (int i = 0; i < registry.Count(); ++i)
        request.Suffixes.append(QString::fromStdString(registry.ExtensionAt(i)).mid(1));
    request.Directory = settings.ReadString("LastSaveDir", DefaultExportFolder());
    request.Filters = DialogFilters();
    request.ProposedName =
        QFile::decodeName(QByteArray::fromStdString(ProposedExportName(root.GetDisplayName())));

    const std::optional<TSaveFileChoice> choice = dialog(parent, request);
    if (!choice || choice->FileName.empty())
        return TSaveResult::Cancelled;
    const int filterIndex = ValidFilterIndex(choice->FilterIndex);
    Remember([&] { settings.WriteString("LastSaveDir", FolderOf(choice->FileName)); });
    Remember([&] { settings.WriteInteger("LastFilterIndex", filterIndex); });

    const TBusyCursor busy;
    // SaveExportToFile writes through a temporary file and reports its own failure in the error box.
    return SaveExportToFile(registry.Items(filterIndex - 1), &root, choice->FileName,
                            settings.FileSizeRounding(),
                            settings.AllocatedSize() ? TSizeKind::Allocated : TSizeKind::Logical)
               ? TSaveResult::Saved
               : TSaveResult::Failed;
}

} // namespace quorvex
