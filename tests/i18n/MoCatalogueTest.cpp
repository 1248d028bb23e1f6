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

const std::vector<std::pair<std::string, std::string>> kEntries{
    {"", testing::kUtf8Header}, {"&File", "&Datei"}, {"Size", "Größe"}};

void ExpectInvalid(const std::string& bytes, const std::string& why) {
    try {
        TMoCatalogue::FromBytes(bytes, kName);
        ADD_FAILURE() << "accepted: " << why;
    } catch (const EMoFileError& error) {
        EXPECT_EQ(error.what(), "This file is not a valid GNU gettext mo file: " + kName) << why;
    }
}

TEST(MoCatalogue, ReadsBothByteOrdersPluralsAndWhatMsgfmtWrites) {
    for (const bool bigEndian : {false, true}) {
        const auto catalogue = TMoCatalogue::FromBytes(MakeMo(kEntries, bigEndian).bytes, kName);
        EXPECT_EQ(catalogue->Find("&File").value_or("?"), "&Datei") << bigEndian;
        EXPECT_EQ(catalogue->Find("Size").value_or("?"), "Größe") << bigEndian;
        EXPECT_FALSE(catalogue->Find("Files")) << bigEndian;
        EXPECT_TRUE(HeaderDeclaresUtf8(catalogue->Header())) << bigEndian;
    }
    const auto plural = TMoCatalogue::FromBytes(
        MakeMo({{std::string("File\0Files", 10), std::string("Datei\0Dateien", 13)}}).bytes, kName);
    EXPECT_EQ(plural->Find("File").value_or("?"), "Datei") << "the singular form answers";

    testing::TempTree tree;
    const std::string mo = tree / "de.mo";
    ASSERT_TRUE(testing::CompilePo(mo, {{"Local Drives", "Lokale Laufwerke"}, {"sec.", "Sek."}}));
    const auto compiled = TMoCatalogue::FromFile(mo);
    EXPECT_EQ(compiled->Find("Local Drives").value_or("?"), "Lokale Laufwerke");
    EXPECT_EQ(compiled->Find("sec.").value_or("?"), "Sek.");
    EXPECT_EQ(compiled->Count(), 3u);
}

TEST(MoCatalogue, RefusesEveryTruncationAndHostileTablesAndStrings) {
    const testing::MoLayout good = MakeMo(kEntries);
    for (std::size_t size = 0; size < good.bytes.size(); ++size)
        ExpectInvalid(good.bytes.substr(0, size), "truncated to " + std::to_string(size));

    const std::size_t originals = good.originalsOffset;
    const std::size_t translations = good.translationsOffset;
    const auto offset = [&](std::size_t string) {
        return static_cast<std::uint32_t>(good.stringOffsets[string]);
    };
    struct Word {
        std::size_t at;
        std::uint32_t value;
    };
    const std::pair<std::vector<Word>, const char*> cases[] = {
        {{{0, 0x12345678u}}, "magic"},
        {{{4, 2u << 16}}, "major revision 2"},
        {{{8, 0xFFFFFFFFu}}, "absurd count"},
        {{{8, 0x20000000u}}, "count times 8 wraps 32 bits"},
        {{{12, 0xFFFFFFF0u}}, "table past the end"},
        {{{16, 4}}, "table inside the header"},
        {{{originals + 12, 0xFFFFFFF0u}}, "string offset past the end"},
        {{{originals + 8, 0xFFFFFFFFu}}, "length wrapping the offset"},
        // The translation of "Size" pointed at the bytes of "&File": one string aliasing another.
        {{{translations + 20, offset(1)}, {translations + 16, 5}}, "overlapping strings"},
        // The high byte of a length word is a NUL, so only the overlap check can catch it.
        {{{originals + 12, static_cast<std::uint32_t>(translations + 3)}, {originals + 8, 0}},
         "a string inside a table"},
    };
    for (const auto& [words, why] : cases) {
        std::string bytes = good.bytes;
        for (const Word& word : words)
            PutWord(bytes, word.at, word.value, false);
        ExpectInvalid(bytes, why);
    }
    std::string unterminated = good.bytes;
    unterminated[good.stringOffsets[1] + 5] = 'x';
    ExpectInvalid(unterminated, "unterminated string");
}

TEST(MoCatalogue, OpensRegularFilesOnlyAndNeverWaitsOnAFifo) {
    testing::TempTree tree;
    const std::string fifo = tree / "default.mo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    tree.Dir("folder.mo");
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& path : {fifo, tree / "folder.mo"}) {
        try {
            TMoCatalogue::FromFile(path);
            ADD_FAILURE() << "read: " << path;
        } catch (const EMoFileError& error) {
            EXPECT_EQ(std::string(error.what()), "This file is not a valid GNU gettext mo file: " + path);
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    try {
        TMoCatalogue::FromFile(tree / "missing.mo");
        ADD_FAILURE() << "a missing file was read";
    } catch (const EMoFileError& error) {
        EXPECT_NE(std::string(error.what()).find("could not be read"), std::string::npos) << error.what();
    }
}

// The charset must be on the Content-Type line, not elsewhere in the header; its case does not count.
TEST(MoCatalogue, CharsetIsReadFromTheContentTypeLineWhateverItsCase) {
    EXPECT_TRUE(HeaderDeclaresUtf8("Project-Id-Version: x\ncontent-type: text/plain; CHARSET=utf-8\n"));
    EXPECT_FALSE(HeaderDeclaresUtf8("Content-Type: text/plain; charset=ISO-8859-1\n"));
    EXPECT_FALSE(HeaderDeclaresUtf8("X-Note: charset=UTF-8\nContent-Type: text/plain\n"));
    EXPECT_FALSE(HeaderDeclaresUtf8(""));
}

} // namespace
} // namespace quorvex
