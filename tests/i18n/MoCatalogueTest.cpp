#include "CatalogueFixtures.h"

#include "i18n/MoCatalogue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>

namespace quorvex {
namespace {

using testing::MakeMo;
using testing::PutWord;

const std::string kName = "/some/where/default.mo";
const std::string kInvalid = "This file is not a valid GNU gettext mo file: " + kName;

const std::vector<std::pair<std::string, std::string>> kEntries{
    {"", testing::kUtf8Header}, {"&File", "&Datei"}, {"Size", "Größe"}};

void ExpectInvalid(const std::string& bytes, const std::string& why) {
    try {
        TMoCatalogue::FromBytes(bytes, kName);
        ADD_FAILURE() << "accepted: " << why;
    } catch (const EMoFileError& error) {
        EXPECT_EQ(error.what(), kInvalid) << why;
    }
}

TEST(MoCatalogue, ReadsBothByteOrdersAndWhatMsgfmtWrites) {
    for (const bool bigEndian : {false, true}) {
        const auto catalogue = TMoCatalogue::FromBytes(MakeMo(kEntries, bigEndian).bytes, kName);
        EXPECT_EQ(catalogue->Find("&File").value_or("?"), "&Datei") << bigEndian;
        EXPECT_EQ(catalogue->Find("Size").value_or("?"), "Größe") << bigEndian;
        EXPECT_FALSE(catalogue->Find("Files")) << bigEndian;
        EXPECT_TRUE(HeaderDeclaresUtf8(catalogue->Header())) << bigEndian;
    }
    testing::TempTree tree;
    const std::string mo = tree / "de.mo";
    ASSERT_TRUE(testing::CompilePo(mo, {{"Local Drives", "Lokale Laufwerke"}, {"sec.", "Sek."}}));
    const auto compiled = TMoCatalogue::FromFile(mo);
    EXPECT_EQ(compiled->Find("Local Drives").value_or("?"), "Lokale Laufwerke");
    EXPECT_EQ(compiled->Find("sec.").value_or("?"), "Sek.");
    EXPECT_EQ(compiled->Count(), 3u);
}

TEST(MoCatalogue, PluralEntriesAnswerWithTheSingularForm) {
    const auto catalogue = TMoCatalogue::FromBytes(
        MakeMo({{std::string("File\0Files", 10), std::string("Datei\0Dateien", 13)}}).bytes, kName);
    EXPECT_EQ(catalogue->Find("File").value_or("?"), "Datei");
}

TEST(MoCatalogue, RefusesEveryTruncation) {
    const std::string whole = MakeMo(kEntries).bytes;
    for (std::size_t size = 0; size < whole.size(); ++size)
        ExpectInvalid(whole.substr(0, size), "truncated to " + std::to_string(size));
}

TEST(MoCatalogue, RefusesHostileTablesAndStrings) {
    const testing::MoLayout good = MakeMo(kEntries);
    auto broken = [&](auto change) {
        std::string bytes = good.bytes;
        change(bytes);
        return bytes;
    };
    ExpectInvalid(broken([](std::string& b) { b[0] = 'X'; }), "magic");
    ExpectInvalid(broken([](std::string& b) { PutWord(b, 4, 2u << 16, false); }), "major revision 2");
    ExpectInvalid(broken([](std::string& b) { PutWord(b, 8, 0xFFFFFFFFu, false); }), "absurd count");
    ExpectInvalid(broken([](std::string& b) { PutWord(b, 8, 0x20000000u, false); }),
                  "count times 8 wraps 32 bits");
    ExpectInvalid(broken([](std::string& b) { PutWord(b, 12, 0xFFFFFFF0u, false); }), "table past the end");
    ExpectInvalid(broken([](std::string& b) { PutWord(b, 16, 4, false); }), "table inside the header");
    ExpectInvalid(broken([&](std::string& b) { PutWord(b, good.originalsOffset + 12, 0xFFFFFFF0u, false); }),
                  "string offset past the end");
    ExpectInvalid(broken([&](std::string& b) { PutWord(b, good.originalsOffset + 8, 0xFFFFFFFFu, false); }),
                  "length wrapping the offset");
    ExpectInvalid(broken([&](std::string& b) { b[good.stringOffsets[1] + 5] = 'x'; }), "unterminated string");
    // The translation of "Size" pointed at the bytes of "&File": one string aliasing another.
    ExpectInvalid(broken([&](std::string& b) {
                      PutWord(b, good.translationsOffset + 20,
                              static_cast<std::uint32_t>(good.stringOffsets[1]), false);
                      PutWord(b, good.translationsOffset + 16, 5, false);
                  }),
                  "overlapping strings");
    ExpectInvalid(broken([&](std::string& b) {
                      // The high byte of a length word is a NUL, so only the overlap check can catch it.
                      PutWord(b, good.originalsOffset + 12,
                              static_cast<std::uint32_t>(good.translationsOffset + 3), false);
                      PutWord(b, good.originalsOffset + 8, 0, false);
                  }),
                  "a string inside a table");
}

TEST(MoCatalogue, OpensRegularFilesOnlyAndNeverWaitsOnAFifo) {
    testing::TempTree tree;
    const std::string fifo = tree / "default.mo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(
        {
            try {
                TMoCatalogue::FromFile(fifo);
            } catch (const EMoFileError& error) {
                EXPECT_EQ(std::string(error.what()), "This file is not a valid GNU gettext mo file: " + fifo);
                throw;
            }
        },
        EMoFileError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    tree.Dir("folder.mo");
    EXPECT_THROW(TMoCatalogue::FromFile(tree / "folder.mo"), EMoFileError);
    try {
        TMoCatalogue::FromFile(tree / "missing.mo");
        ADD_FAILURE() << "a missing file was read";
    } catch (const EMoFileError& error) {
        EXPECT_NE(std::string(error.what()).find("could not be read"), std::string::npos) << error.what();
    }
}

TEST(MoCatalogue, CharsetIsReadFromTheContentTypeLineWhateverItsCase) {
    EXPECT_TRUE(HeaderDeclaresUtf8("Project-Id-Version: x\ncontent-type: text/plain; CHARSET=utf-8\n"));
    EXPECT_FALSE(HeaderDeclaresUtf8("Content-Type: text/plain; charset=ISO-8859-1\n"));
    // The charset must be on the Content-Type line, not elsewhere in the header.
    EXPECT_FALSE(HeaderDeclaresUtf8("X-Note: charset=UTF-8\nContent-Type: text/plain\n"));
    EXPECT_FALSE(HeaderDeclaresUtf8(""));
}

} // namespace
} // namespace quorvex
