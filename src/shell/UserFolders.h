#pragma once

#include <QObject>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

namespace quorvex {

// A folder the tree shows with an icon of its own: a user folder (Documents, Music ...) or a drive.
struct TShellFolder {
    int Location = -1;     // a QStandardPaths::StandardLocation; -1 for a plain path (a drive)
    std::string Path;      // no trailing "/" except for "/"; for user folders filled in when resolved
    QStringList IconNames; // freedesktop names, best first
    int ImageIndex = -1;   // in the icon registry; -1 until resolved, or when the folder does not exist
};

struct TSpecialFolderShared;

// The resolved folders, with the generic closed and open folder icons. User-interface thread only.
class TShellFolderList : public QObject {
    Q_OBJECT
public:
    explicit TShellFolderList(QObject* parent = nullptr);
    ~TShellFolderList() override;

    int ClosedFolderIndex() const { return closedFolder_; }
    int OpenFolderIndex() const { return openFolder_; }
    // The image of the folder at `path` (a trailing "/" is ignored), or -1.
    int IndexOfPath(const std::string& path) const;
    // Takes the entries, turns their icon names into registry indices and emits Changed.
    void AssignAndNotify(std::vector<TShellFolder> folders);

    // Queued by the special-folder thread: takes its result.
    Q_INVOKABLE void DeliverFolders();

signals:
    void Changed();

private:
    friend void StartSpecialFolderThread(TShellFolderList& target, std::vector<TShellFolder> folders);
    std::vector<TShellFolder> folders_;
    int closedFolder_ = -1;
    int openFolder_ = -1;
    std::shared_ptr<TSpecialFolderShared> thread_; // the running special-folder thread, if any
};

// The entries the window starts with: the drives of `mountTable` by kind, then home and the XDG user
// folders. Only the mount table is read, so no remote file system is touched.
struct TMountEntry;
std::vector<TShellFolder> StartFolders(const std::vector<TMountEntry>& mountTable);

// Resolves the user folders' paths on a thread of its own (the folders may lie on a slow file
// system), leaving out those that do not exist, and hands the result to `target` on the
// user-interface thread. Runs once and frees itself; a target destroyed first drops the result.
void StartSpecialFolderThread(TShellFolderList& target, std::vector<TShellFolder> folders);

} // namespace quorvex
