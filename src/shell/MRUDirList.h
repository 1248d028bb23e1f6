#pragma once

#include "support/CommaText.h"
#include "support/MountTable.h"

#include <QObject>

#include <functional>
#include <string>
#include <vector>

namespace quorvex {

// The recently scanned directories, oldest first: the newest is the last entry. Entries are byte
// paths without a trailing "/" and are compared byte for byte, since Linux names are case-sensitive.
// Every operation is one change: `Changed` fires once at its end, and only when the list changed.
class TMRUDirList : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultMaxCount = 9;
    using DirectoryTest = std::function<bool(const std::string& path)>;

    explicit TMRUDirList(QObject* parent = nullptr);

    const std::vector<std::string>& Items() const { return items_; }
    int MaxCount() const { return maxCount_; }
    void SetMaxCount(int maxCount);

    // Moves `path` to the newest place, or appends it, then trims to MaxCount.
    void AddDir(const std::string& path);
    // Drops the oldest entries beyond MaxCount.
    void TrimToMax();
    // Drops every entry that `isDirectory` does not confirm, newest first.
    void RemoveInvalid(const DirectoryTest& isDirectory);
    // Drops every entry that is the mount point of a drive in `table`: a drive is offered as a drive.
    void RemoveDriveRoots(const std::vector<TMountEntry>& table);

    std::string CommaText() const;
    // Replaces the entries as stored; a stored list longer than MaxCount stays long until AddDir.
    // The text is also what MergeStored compares with.
    void SetCommaText(const std::string& text);
    // Another window on the same profile may have written the stored list since this one read it:
    // `stored` is the stored form as it is now. Its entries that were not there at the last read (and
    // are not here) were added by that window after this one last looked, so they are newer than every
    // entry here and come last; then the list is trimmed. `stored` becomes what the next call compares
    // with.
    void MergeStored(const std::string& stored);

signals:
    void Changed();

private:
    // Runs `change` as one change bracket.
    template <typename Change> void Bracket(Change change);

    int maxCount_ = kDefaultMaxCount;
    int bracketDepth_ = 0;
    std::vector<std::string> items_;
    std::vector<std::string> lastStored_;
};

} // namespace quorvex
