#include "common/PoFile.h"
#include "common/ScopedEnv.h"

#include "app/QuorvexProcess.h"
#include "i18n/Translation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>

namespace quorvex {
namespace {

std::vector<testing::PoEntry> Template() {
    return testing::ReadPo(QUORVEX_POT);
}

TEST(CatalogueCoverage, TheGermanCatalogueTranslatesEveryMessageOfTheProgram) {
    const auto messages = Template();
    ASSERT_GT(messages.size(), 100u) << QUORVEX_POT;
    std::map<std::string, testing::PoEntry> german;
    for (const auto& entry : testing::ReadPo(QUORVEX_PO_DIR "/de.po"))
        german.emplace(entry.Id, entry);
    std::vector<std::string> missing;
    for (const auto& message : messages) {
        const auto found = german.find(message.Id);
        if (found == german.end() || found->second.Str.empty() || found->second.Fuzzy)
            missing.push_back(message.Id);
    }
    EXPECT_EQ(missing, std::vector<std::string>{});
}

// Each message of the template as a pattern: "%s" and "%d" stand for anything on one line.
std::vector<std::regex> MessagePatterns() {
    std::vector<std::string> ids;
    for (const auto& message : Template())
        ids.push_back(message.Id);
    // Longest first, so that a whole usage text goes before a message that is part of it.
    std::sort(ids.begin(), ids.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    std::vector<std::regex> patterns;
    for (const std::string& id : ids) {
        std::string pattern;
        for (std::size_t i = 0; i < id.size(); ++i) {
            if (id[i] == '%' && i + 1 < id.size() && (id[i + 1] == 's' || id[i + 1] == 'd')) {
                pattern += "[^\n]*";
                ++i;
            } else if (std::string("\\^$.|?*+()[]{}").find(id[i]) != std::string::npos) {
                pattern += std::string("\\") + id[i];
            } else {
                pattern += id[i];
            }
        }
        patterns.emplace_back(pattern);
    }
    return patterns;
}

TEST(CatalogueCoverage, EveryMessageOfTheCommandLineIsAMessage) {
    const auto patterns = MessagePatterns();
    const testing::ScopedEnv lang("LANG", "C");
    const std::vector<std::vector<std::string>> runs{{"--help"},
                                                     {"--bogus"},
                                                     {"--summary"},
                                                     {"--export"},
                                                     {"--export", "nonsense"},
                                                     {"--export", "csv"},
                                                     {"--export", "csv", "-o", "-"},
                                                     {"--export", "csv", "-o", "-", "a", "b"},
                                                     {"--export", "csv", "--rounding", "7", "-o", "-", "/"},
                                                     {"--export", "csv", "--what", "/"},
                                                     {"--export", "csv", "-o"}};
    for (const auto& args : runs) {
        const testing::TempTree scratch;
        testing::Quorvex run(args, scratch);
        const testing::Result result = run.Wait();
        std::string rest = result.out + result.err;
        ASSERT_FALSE(rest.empty()) << args[0];
        for (const std::regex& pattern : patterns)
            rest = std::regex_replace(rest, pattern, "");
        rest = std::regex_replace(rest, std::regex("quorvex: "), "");
        EXPECT_EQ(rest.find_first_not_of(" \n"), std::string::npos)
            << "not a message: \"" << rest << "\" from " << args[0] << " "
            << (args.size() > 1 ? args[1] : "");
    }
}

} // namespace
} // namespace quorvex
