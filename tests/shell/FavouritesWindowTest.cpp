// The window's favourites: what its menus list, a drive mounted under it, removing missing entries
// with the question, and a mount that hangs while the menus are rebuilt.

#include "HangingProbe.h"

#include "common/TempTree.h"

#include "i18n/ErrorDialogs.h"
#include "settings/QxSettings.h"
#include "shell/MRUDirList.h"
#include "shell/MountProbe.h"
#include "ui/FormMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace quorvex;
using namespace quorvex::testing;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> Captions(const TFormMain& form, const char* menuName) {
    std::vector<std::string> captions;
    for (const QAction* action : form.findChild<QMenu*>(menuName)->actions())
        captions.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    return captions;
}

bool Lists(const TFormMain& form, const std::string& caption) {
    for (const char* menu : {"PopupMRUDirList", "MenuItemMRUDirList"}) {
        const auto captions = Captions(form, menu);
        if (std::find(captions.begin(), captions.end(), caption) == captions.end())
            return false;
    }
    return true;
}

QAction* Item(const TFormMain& form, const std::string& caption) {
    for (QAction* action : form.findChild<QMenu*>("PopupMRUDirList")->actions()) {
        if (action->text().toStdString() == caption)
            return action;
    }
    return nullptr;
}

// A RAM disk named `source`, mounted for the test's duration.
class NamedTmpfs {
public:
    NamedTmpfs(const TempTree& tree, const char* source) : point_(tree / "ram") {
        tree.Dir("ram");
        if (::mount(source, point_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0)
            refusal_ = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
    }
    ~NamedTmpfs() { Unmount(); }
    NamedTmpfs(const NamedTmpfs&) = delete;
    NamedTmpfs& operator=(const NamedTmpfs&) = delete;
    void Unmount() {
        if (refusal_.empty() && !unmounted_)
            unmounted_ = ::umount(point_.c_str()) == 0;
    }
    const std::string& Refusal() const { return refusal_; }
    const std::string& Point() const { return point_; }

private:
    std::string point_;
    std::string refusal_;
    bool unmounted_ = false;
};

class FavouritesWindowTest : public ::testing::Test {
protected:
    FavouritesWindowTest()
        : previous_(SetErrorDialogHandler([this](const std::string& e) { errors_.push_back(e); })) {}
    ~FavouritesWindowTest() override {
        SetErrorDialogHandler(previous_);
        EXPECT_TRUE(errors_.empty()) << errors_.front();
    }
    void Store(const std::string& commaText) const {
        std::ofstream(ini_) << "[Settings]\nMRUDirList=" << commaText << "\n";
    }
    static bool Scan(TFormMain& form, const std::function<void()>& start) {
        QSignalSpy finished(&form, &TFormMain::ScanFinishedSignal);
        start();
        return finished.wait(30000);
    }

    TempTree config_;
    const std::string ini_ = config_ / "Quorvex.ini";
    std::vector<std::string> errors_;
    ErrorDialogHandler previous_;
};

} // namespace

TEST_F(FavouritesWindowTest, AMountedDriveIsListedByNameScansAndNeverEntersTheRecentList) {
    TempTree t;
    NamedTmpfs ram(t, "Scratch");
    if (!ram.Refusal().empty())
        GTEST_SKIP() << ram.Refusal();
    t.Dir("recent");
    Store("\"" + ram.Point() + "\"," + t / "recent");
    TSettings settings(ini_);
    TFormMain form(settings);
    EXPECT_EQ(form.Favourites()->Items(), std::vector<std::string>{t / "recent"})
        << "a stored drive root is dropped at start";
    const std::string caption = "Scratch (" + ram.Point() + ")";
    EXPECT_TRUE(Lists(form, caption)) << "both menus list the drive by its name";
    const auto captions = Captions(form, "PopupMRUDirList");
    EXPECT_EQ(captions.front(), "Local Drives");
    EXPECT_NE(std::find(captions.begin(), captions.end(), "/"), captions.end());
    EXPECT_EQ(captions.back(), "1 " + t / "recent") << "no remove item while every entry exists";
    EXPECT_EQ(form.findChild<QToolButton*>("FavouritesButton")->text(), "Favourites");

    ASSERT_TRUE(Scan(form, [&] { Item(form, caption)->trigger(); }));
    EXPECT_EQ(form.LastScanDir(), ram.Point());
    EXPECT_EQ(form.Favourites()->Items(), std::vector<std::string>{t / "recent"});

    ram.Unmount();
    form.RebuildFavouritesMenus();
    EXPECT_FALSE(Lists(form, caption));
}

TEST_F(FavouritesWindowTest, NineNumberedNewestFirstAndOnlyConfirmedMissingEntriesRemoved) {
    TempTree t;
    TSettings settings(ini_);
    TFormMain form(settings);
    for (int i = 0; i <= 9; ++i) {
        t.Dir(std::string("d").append(std::to_string(i)));
        form.Favourites()->AddDir(t / (std::string("d").append(std::to_string(i))) + "/");
    }
    auto captions = Captions(form, "MenuItemMRUDirList");
    const auto separator = std::find(captions.begin(), captions.end(), "-");
    ASSERT_EQ(captions.end() - separator, 10);
    for (int n = 1; n <= 9; ++n)
        EXPECT_EQ(separator[n],
                  std::to_string(n) + " " + t / (std::string("d").append(std::to_string(10 - n))));

    ASSERT_EQ(::rmdir((t / "d3").c_str()), 0);
    ASSERT_EQ(::rmdir((t / "d5").c_str()), 0);
    form.Favourites()->AddDir(t / "d9"); // no change: the menus stay as they were
    form.RebuildFavouritesMenus();
    captions = Captions(form, "PopupMRUDirList");
    ASSERT_EQ(captions.back(), "Remove invalid entries...");
    EXPECT_EQ(captions.end()[-2], "-");

    std::vector<std::string> asked;
    QMessageBox::StandardButton answer = QMessageBox::No;
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        asked.push_back(box->text().toStdString());
        box->button(answer)->click();
    });
    boxes.start(5);
    Item(form, "Remove invalid entries...")->trigger();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0],
              "Do you really want to remove the following invalid entries?\n" + t / "d3" + "\n" + t / "d5");
    EXPECT_EQ(form.Favourites()->Items().size(), 9u) << "No keeps them";

    answer = QMessageBox::Yes;
    Item(form, "Remove invalid entries...")->trigger();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(form.Favourites()->Items().size(), 7u);
    EXPECT_EQ(std::count(form.Favourites()->Items().begin(), form.Favourites()->Items().end(), t / "d3"), 0);
    EXPECT_EQ(Captions(form, "PopupMRUDirList").back(), "7 " + t / "d1");
}

TEST_F(FavouritesWindowTest, AHangingMountNeverHoldsTheWindowBeyondTheLimit) {
    TempTree t;
    NamedTmpfs ram(t, "Scratch");
    if (!ram.Refusal().empty())
        GTEST_SKIP() << ram.Refusal();
    const std::string deadDir = ram.Point() + "/deep";
    ASSERT_EQ(::mkdir(deadDir.c_str(), 0755), 0);
    TSettings settings(ini_);
    TFormMain form(settings);
    form.Favourites()->AddDir(deadDir);
    ASSERT_EQ(::rmdir(deadDir.c_str()), 0);
    auto probe = std::make_shared<HangingProbe>(std::vector<std::string>{ram.Point(), deadDir});

    auto started = std::chrono::steady_clock::now();
    form.SetMountProbe(probe);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_TRUE(Lists(form, "ram (" + ram.Point() + ")")) << "unlabelled until the look-up answers";
    EXPECT_EQ(Captions(form, "PopupMRUDirList").back(), "1 " + deadDir)
        << "a directory that cannot be tested is not offered for removal";

    started = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i)
        form.RebuildFavouritesMenus();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s)
        << "the hanging look-ups are not waited for again";

    probe->Release();
    bool answered = false;
    for (int i = 0; i < 100 && !answered; ++i) {
        std::this_thread::sleep_for(10ms);
        form.RebuildFavouritesMenus();
        answered = Lists(form, "Scratch (" + ram.Point() + ")") &&
                   Captions(form, "PopupMRUDirList").back() == "Remove invalid entries...";
    }
    EXPECT_TRUE(answered) << "once the mount answers, its label and the missing entry show";
}
