#include "support/Trash.h"

#include "common/FileText.h"
#include "common/TempTree.h"
#include "common/TinyTmpfs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>

using namespace quorvex;
using quorvex::testing::Exists;
using quorvex::testing::PercentDecoded;
using quorvex::testing::TempTree;
namespace fs = std::filesystem;

namespace {

// GIO reads the trash location once per process, so every test shares one private home, set before the
// first trash call; the user's real trash is never touched.
const std::string& TrashDir() {
    struct TPrivateHome {
        TempTree Home;
        std::string Trash = Home / "data/Trash";
        TPrivateHome() {
            Home.Dir("data");
            ::setenv("HOME", Home.Path().c_str(), 1);
            ::setenv("XDG_DATA_HOME", (Home / "data").c_str(), 1);
        }
    };
    static const TPrivateHome home;
    return home.Trash;
}

std::size_t InfoCount() {
    const fs::path info = TrashDir() + "/info";
    return fs::exists(info) ? std::distance(fs::directory_iterator(info), fs::directory_iterator()) : 0;
}

// The trash entry whose recorded original path, decoded, is exactly `original`; also checks that the
// record itself is plain ASCII on one line, as the trash format requires.
std::optional<std::string> FindInTrash(const std::string& original) {
    if (!fs::exists(TrashDir() + "/info"))
        return std::nullopt;
    for (const fs::directory_entry& e : fs::directory_iterator(TrashDir() + "/info")) {
        std::ifstream in(e.path());
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("Path=", 0) != 0)
                continue;
            for (const unsigned char c : line)
                EXPECT_TRUE(c >= 0x20 && c < 0x7f) << "raw byte " << int(c) << " in " << e.path();
            if (PercentDecoded(line.substr(5)) == original)
                return TrashDir() + "/files/" + e.path().stem().string();
        }
    }
    return std::nullopt;
}

} // namespace

TEST(Trash, HostileNamesAndDirectoriesGoWholeAndRecordTheirExactPath) {
    TrashDir();
    TempTree t;
    const std::vector<std::string> names = {"plain", "line\nbreak", "bad\xff\xfe name", "dir\xe9"};
    for (std::size_t i = 0; i < 3; ++i)
        t.File(names[i], 10 * static_cast<long long>(i + 1));
    t.Dir(names[3]);
    t.Dir(names[3] + "/sub");
    t.File(names[3] + "/sub/inner\n\x80", 40);

    std::vector<std::string> paths;
    for (const std::string& name : names)
        paths.push_back(t / name);
    std::size_t progress = 0;
    TTrashControl control;
    control.Progress = [&](std::size_t done) { progress = done; };
    const std::vector<TTrashedPath> results = MoveAllToTrash(paths, control);

    ASSERT_EQ(results.size(), paths.size());
    EXPECT_EQ(progress, paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(results[i].Path, paths[i]);
        EXPECT_TRUE(results[i].Result.Ok()) << results[i].Result.Message;
        EXPECT_FALSE(Exists(paths[i]));
        const std::optional<std::string> trashed = FindInTrash(paths[i]);
        ASSERT_TRUE(trashed) << "no trash record for item " << i;
        if (i < 3)
            EXPECT_EQ(fs::file_size(*trashed), 10u * (i + 1));
        else
            EXPECT_EQ(fs::file_size(*trashed + "/sub/inner\n\x80"), 40u);
    }
}

TEST(Trash, MissingUnsafeOrCancelledPathsTouchNothing) {
    TrashDir();
    TempTree t;
    t.Dir("sub");
    t.Dir("sub/deep");
    t.File("victim", 1);
    t.File("sub/victim", 1);
    t.Link(t / "sub/deep", "link");
    const std::size_t before = InfoCount();

    const TTrashResult missing = MoveToTrash(t / "missing");
    EXPECT_EQ(missing.Outcome, TTrashOutcome::Failed);
    EXPECT_EQ(missing.Error, ENOENT);
    EXPECT_NE(missing.Message.find("missing"), std::string::npos) << missing.Message;

    // Each of these would name something else once GIO has tidied it: the working directory, or
    // "victim" reached by text instead of through "sub".
    for (const std::string& path :
         {std::string(), std::string("victim"), t / "sub/../victim", t / "./victim"}) {
        const TTrashResult refused = MoveToTrash(path);
        EXPECT_EQ(refused.Outcome, TTrashOutcome::Failed) << path;
        EXPECT_EQ(refused.Error, EINVAL) << path;
    }

    std::stop_source stop;
    stop.request_stop();
    TTrashControl control;
    control.Stop = stop.get_token();
    const std::vector<TTrashedPath> cancelled = MoveAllToTrash({t / "victim", t / "sub"}, control);
    ASSERT_EQ(cancelled.size(), 2u);
    EXPECT_EQ(cancelled[0].Result.Error, ECANCELED);
    EXPECT_EQ(cancelled[1].Result.Error, ECANCELED);

    EXPECT_TRUE(Exists(t / "victim"));
    EXPECT_TRUE(Exists(t / "sub/victim"));
    EXPECT_EQ(InfoCount(), before);
}

// GIO counts tmpfs among the system's internal mounts and makes no trash folder there, and it cannot
// rename out of a bind mount into the home trash; either way the item must stay where it is and the
// caller must learn that only permanent deletion is left.
TEST(Trash, MountsWithoutTrashKeepTheItem) {
    TrashDir();
    const quorvex::testing::TinyTmpfs tmpfs;
    if (!tmpfs.Mounted())
        GTEST_SKIP() << tmpfs.Refusal();
    TempTree t;
    t.Dir("source");
    t.File("source/bound", 1);
    t.Dir("bind");
    const quorvex::testing::ScopedMount bind(t / "bind", t / "source");
    ASSERT_TRUE(bind.Mounted()) << bind.Refusal();
    quorvex::testing::WriteAll(tmpfs / "kept", "");
    const std::size_t before = InfoCount();

    for (const std::string& path : {tmpfs / "kept", t / "bind/bound"}) {
        const TTrashResult result = MoveToTrash(path);
        EXPECT_EQ(result.Outcome, TTrashOutcome::NoTrash) << path << ": " << result.Message;
        EXPECT_EQ(result.Error, ENOTSUP);
        EXPECT_FALSE(result.Message.empty());
        EXPECT_TRUE(Exists(path));
    }
    EXPECT_FALSE(Exists(tmpfs / (".Trash-" + std::to_string(::geteuid()))));
    EXPECT_EQ(InfoCount(), before);

    // Read-only, deleting for good cannot work either, so it is not offered.
    ASSERT_EQ(::mount(nullptr, tmpfs.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    const TTrashResult readOnly = MoveToTrash(tmpfs / "kept");
    EXPECT_EQ(readOnly.Outcome, TTrashOutcome::Failed) << readOnly.Message;
    EXPECT_EQ(readOnly.Error, EROFS);
    EXPECT_TRUE(Exists(tmpfs / "kept"));
}
