#include "model/FileKinds.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>

namespace quorvex {
namespace {

TEST(FileKinds, ExtensionsAndKindsComeFromTheNameThroughTheMimeDatabase) {
    const TFileKinds kinds;
    for (const auto& [name, extension] :
         std::initializer_list<std::pair<const char*, const char*>>{{"main.H", ".h"},
                                                                    {"backup.TAR.GZ", ".tar.gz"},
                                                                    {"notes.v2.gz", ".gz"},
                                                                    {".bashrc", ""},
                                                                    {"Makefile", ""},
                                                                    {"odd.", ""},
                                                                    {"a.b.c\xff", ".c\xff"},
                                                                    {"x.tar.zst", ".tar.zst"}})
        EXPECT_EQ(kinds.ExtensionOf(name), extension) << name;
    for (const auto& [name, kind] :
         std::initializer_list<std::pair<const char*, TFileKind>>{{"photo.JPG", TFileKind::Images},
                                                                  {"film.mkv", TFileKind::Video},
                                                                  {"song.flac", TFileKind::Audio},
                                                                  {"paper.pdf", TFileKind::Documents},
                                                                  {"letter.odt", TFileKind::Documents},
                                                                  {"readme.txt", TFileKind::Documents},
                                                                  {"backup.tar.gz", TFileKind::Archives},
                                                                  {"all.zip", TFileKind::Archives},
                                                                  {"main.cpp", TFileKind::SourceCode},
                                                                  {"run.sh", TFileKind::SourceCode},
                                                                  {"libz.so", TFileKind::Programs},
                                                                  {"libz.so.1.2.13", TFileKind::Programs},
                                                                  {"syslog.1", TFileKind::Other},
                                                                  {"app.jar", TFileKind::Programs},
                                                                  {"tool_1.0_amd64.deb", TFileKind::Packages},
                                                                  {"debian.iso", TFileKind::Packages},
                                                                  {"data.qqq", TFileKind::Other},
                                                                  {"Makefile", TFileKind::Other}})
        EXPECT_EQ(kinds.KindOf(name), kind) << name;
}

} // namespace
} // namespace quorvex
