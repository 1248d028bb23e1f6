#include "ExportFixtures.h"

#include "export/ExportAction.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(ExportAction, DefaultFolderIsMadeUnderTheDocumentsFolder) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const std::string homePath = home.path().toStdString();
    ScopedEnv homeEnv("HOME", homePath);
    ScopedEnv configEnv("XDG_CONFIG_HOME", homePath + "/.config");
    EXPECT_EQ(DefaultExportFolder(), homePath + "/Documents/Quorvex/");
    struct stat st {};
    ASSERT_EQ(::stat((homePath + "/Documents/Quorvex").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST(ExportAction, DefaultFolderThatCannotBeMadeIsEmpty) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const std::string homePath = home.path().toStdString();
    ScopedEnv homeEnv("HOME", homePath);
    ScopedEnv configEnv("XDG_CONFIG_HOME", homePath + "/.config");
    std::ofstream(homePath + "/Documents") << "a file where the folder should be";
    EXPECT_EQ(DefaultExportFolder(), "");
}

TEST(ExportAction, ProposedNameComesFromTheDisplayName) {
    WorkedExample tree;
    EXPECT_EQ(ProposedExportFileName(&tree.root), "_data");
    TRootDirNode spaced;
    spaced.SetName("/mnt/My Disk: backup");
    EXPECT_EQ(ProposedExportFileName(&spaced), "_mnt_My_Disk_backup");
    TFixedDrivesNode drives(std::vector<std::string>{});
    EXPECT_EQ(ProposedExportFileName(&drives), "Local_Drives");
}

} // namespace
