#pragma once

#include "shell/IconRequests.h"
#include "shell/UserFolders.h"
#include "shell/TreeImages.h"

#include <QIcon>
#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace quorvex {

class TFileSystemNode;
struct TMountEntry;

// What the icon machinery needs from the system, so tests can stand in for it.
struct TShellIconsSystem {
    // The one disk access allowed on the painting path: is this directory (still) there?
    std::function<bool(const std::string& path)> IsDirectory;
    std::function<std::vector<TMountEntry>()> MountTable;
    TShellFileIconThread::Resolver FileIconNames;
    bool ResolveSpecialFolders = true; // start the special-folder thread

    static TShellIconsSystem Live();
};

// The image of a name cell: a registry index, faded for hidden items, with an optional mark.
struct TRowImage {
    int Index = -1;
    bool Ghosted = false;
    int Overlay = -1;
};

// Row icons. File icons are asked of the icon thread and shown generic until the answer comes;
// directories and drives are decided from the special-folder list; the answer is cached in the node.
// User-interface thread only.
class TShellIcons : public QObject {
    Q_OBJECT
public:
    explicit TShellIcons(TShellIconsSystem system = TShellIconsSystem::Live(), QObject* parent = nullptr);
    ~TShellIcons() override;

    // The decoration of `column`: the name column's icon, the size column's animation frame while the
    // row is scanned. A null icon when there is none.
    QIcon IconFor(const TFileSystemNode* node, int column, int animationFrame);
    TRowImage NameImage(const TFileSystemNode* node);
    // The image of a file type: the answer when it has come (taking it out of the results), else -1,
    // asking the icon thread once per path.
    int GetFileIconIndex(const std::string& path);
    int DefaultFileIcon();

    // Ageing on the window's timer, and a new scan's clean slate.
    void PurgeOlderThan(double date) { results_.PurgeOlderThan(date); }
    void ClearResults() { results_.Clear(); }

    TShellFolderList& TreeFolders() { return *treeFolders_; }
    const TSHGetFileInfoPropertiesList& Results() const { return results_; }
    const TTreeImages& Images() const { return images_; }

signals:
    // An answer came: the name column should be painted again.
    void FileIconArrived();
    // The special folders and drives have their icons now.
    void FoldersChanged();

public:
    // Queued by the icon thread: takes the answers it left in the inbox.
    Q_INVOKABLE void DeliverFileIcons();

private:
    void OnFileIconResult(std::int32_t requestId, const QStringList& iconNames);

    TShellIconsSystem system_;
    TTreeImages images_;
    TShellFolderList* treeFolders_; // a child
    TSHGetFileInfoPropertiesList results_;
    int defaultFileIcon_ = -1;
    // Answers travel from the icon thread under this lock, not inside Qt's event queue, so the
    // hand-over is visible to the thread sanitizer.
    std::mutex inboxMutex_;
    std::vector<std::pair<std::int32_t, QStringList>> inbox_;
    std::unique_ptr<TShellFileIconThread> iconThread_; // last: joined before the rest goes
};

} // namespace quorvex
