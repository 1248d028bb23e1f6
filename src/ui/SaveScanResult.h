#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace quorvex {

class TFileSystemNode;
class TSettings;

// What the save dialog is opened with.
struct TSaveFileRequest {
    std::string Directory; // initial folder, bytes
    QString ProposedName;  // without extension
    QStringList Filters;   // "CSV (Comma separated) (*.csv)", ... in registry order
    QStringList Suffixes;  // "csv", ... one for each filter
    int FilterIndex = 1;   // 1-based
};

struct TSaveFileChoice {
    std::string FileName; // bytes
    int FilterIndex = 1;  // 1-based, as the dialog closed
};

// Shows a save-file dialog; nullopt when the user cancelled. Tests bypass the dialog with this.
using SaveFileDialog =
    std::function<std::optional<TSaveFileChoice>(QWidget* parent, const TSaveFileRequest&)>;

// QFileDialog asking before it overwrites. The name carries the suffix of the chosen filter, and
// follows it while the user switches filters: the file always holds what its suffix says.
std::optional<TSaveFileChoice> ShowSaveFileDialog(QWidget* parent, const TSaveFileRequest& request);

// The proposed file name for a scan shown as `displayName`: no ":", invalid characters and blanks as "_".
std::string ProposedExportName(const std::string& displayName);

// The user's documents folder with "Quorvex" appended, created if needed; empty when it cannot be.
std::string DefaultExportFolder();

enum class TSaveResult { Cancelled, Saved, Failed };

// The save action: asks for a format and a file, remembers the folder and the format, and exports
// `root`. The export runs even when the INI cannot remember the choice (that is only logged). A
// failed export has been shown in the error box when this returns Failed.
TSaveResult SaveScanResult(QWidget* parent, TSettings& settings, const TFileSystemNode& root,
                           const SaveFileDialog& dialog = ShowSaveFileDialog);

} // namespace quorvex
