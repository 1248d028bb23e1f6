// Names are bytes: whatever they hold, each format must stay readable by its own kind of reader.

#include "ExportFixtures.h"

#include "export/HtmlTableExport.h"
#include "export/TextExports.h"
#include "export/XmlEscape.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cstdio>
#include <fstream>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

const std::vector<std::string> kHostileNames = {
    "line\nbreak", "carriage\rreturn", "say \"hi\"", "Tom & Jerry's", "<script>alert(1)</script>",
    "a,b,c",       "bad\xff\xfe utf8", "tab\there",  "bell\x07",      "ünïcødé 自白",
};

struct HostileTree {
    TRootDirNode root;
    HostileTree() {
        root.SetName("/r<&>\"'");
        for (const std::string& name : kHostileNames)
            Dir(&root, name, 1, 1);
    }
};

// Python's csv module is the reference reader; paths come back as raw bytes via surrogateescape.
TEST(HostileNames, CsvReadBackByAStandardParserGivesThePaths) {
    if (std::system("python3 -c 'import csv' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 not available";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string csvPath = dir.path().toStdString() + "/tree.csv";
    const std::string outPath = dir.path().toStdString() + "/paths.bin";
    HostileTree tree;
    Format("csv").Create(&tree.root)->ExportToFile(csvPath);
    const std::string script =
        "import csv,sys\n"
        "rows=list(csv.reader(open(sys.argv[1],encoding='utf-8',errors='surrogateescape',newline='')))\n"
        "out=open(sys.argv[2],'wb')\n"
        "for r in rows:\n"
        "    assert len(r)==3, r\n"
        "    out.write(r[0].encode('utf-8','surrogateescape')+b'\\0')\n";
    const std::string scriptPath = dir.path().toStdString() + "/read.py";
    std::ofstream(scriptPath) << script;
    ASSERT_EQ(std::system(("python3 " + scriptPath + " " + csvPath + " " + outPath).c_str()), 0);

    std::ifstream in(outPath, std::ios::binary);
    std::vector<std::string> paths;
    for (std::string path; std::getline(in, path, '\0');)
        paths.push_back(path);
    std::vector<std::string> expected = {tree.root.Name()};
    for (const std::string& name : kHostileNames)
        expected.push_back(tree.root.Name() + "/" + name);
    EXPECT_EQ(paths, expected);
}

TEST(HostileNames, CsvQuotesOnlyFieldsThatNeedIt) {
    EXPECT_EQ(CsvField("/plain path", ','), "/plain path");
    EXPECT_EQ(CsvField("a,b", ','), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\"", ','), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("x\r\ny", ','), "\"x\r\ny\"");
    EXPECT_EQ(CsvField("a;b", ';'), "\"a;b\"");
    EXPECT_EQ(CsvField("a;b", ','), "a;b");
}

// Each of the formats' readers must see every name, and each dialect must get the names back.
void ExpectXmlNames(const std::string& document, bool attributes) {
    QXmlStreamReader reader(QByteArray::fromStdString(document));
    QStringList names;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement())
            continue;
        if (attributes && reader.name() == u"dir")
            names << reader.attributes().value("name").toString();
        else if (!attributes && reader.name() == u"name")
            names << reader.readElementText();
    }
    ASSERT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    ASSERT_EQ(names.size(), static_cast<qsizetype>(kHostileNames.size() + 1));
    for (std::size_t i = 0; i < kHostileNames.size(); ++i) {
        // Invalid bytes and forbidden controls are the only things that do not come back as written.
        QString expected = QString::fromUtf8(kHostileNames[i]);
        expected.replace(QChar(7), QChar(0xFFFD));
        EXPECT_EQ(names[static_cast<qsizetype>(i) + 1], expected) << kHostileNames[i];
    }
}

TEST(HostileNames, BothXmlDialectsParseAndKeepTheNames) {
    HostileTree tree;
    ExpectXmlNames(ExportText(Format("xml"), &tree.root), false);
    ExpectXmlNames(ExportText(Format("xml2"), &tree.root), true);
}

TEST(HostileNames, XmlEscapeReplacesWhatXmlCannotCarry) {
    EXPECT_EQ(XmlEscape("Tom & Jerry's", TMarkup::XmlContent), "Tom &amp; Jerry&apos;s");
    EXPECT_EQ(XmlEscape("Tom & Jerry's", TMarkup::Html), "Tom &amp; Jerry&#39;s");
    EXPECT_EQ(XmlEscape("a\x01"
                        "b\x1f",
                        TMarkup::XmlContent),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    EXPECT_EQ(XmlEscape("\xC3\xA9t\xC3\xA9", TMarkup::XmlContent), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(XmlEscape("x\xC0\xAFy", TMarkup::XmlContent).find("\xC0"), std::string::npos); // overlong "/"
    EXPECT_EQ(XmlEscape("\xEF\xBF\xBE", TMarkup::XmlContent), "\xEF\xBF\xBD");               // U+FFFE
    EXPECT_EQ(XmlEscape("a\tb\nc\rd", TMarkup::XmlContent), "a\tb\nc&#13;d");
    EXPECT_EQ(XmlEscape("a\tb\nc\rd", TMarkup::XmlAttribute), "a&#9;b&#10;c&#13;d");
}

TEST(HostileNames, HtmlCarriesNoMarkupFromNames) {
    HostileTree tree;
    const std::string page = ExportText(Format("html"), &tree.root);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_EQ(page.find("Jerry's"), std::string::npos);
    EXPECT_EQ(page.find("say \""), std::string::npos);
    EXPECT_NE(page.find("<title>Quorvex - /r&lt;&amp;&gt;&quot;&#39;</title>"), std::string::npos);
    EXPECT_NE(page.find("<h1>/r&lt;&amp;&gt;&quot;&#39;</h1>"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    // The page says UTF-8, so it must be UTF-8.
    EXPECT_TRUE(QString::fromUtf8(page).toUtf8().toStdString() == page);
}

TEST(HostileNames, TextTreeKeepsOneLinePerDirectory) {
    HostileTree tree;
    const std::string text = ExportText(Format("txt"), &tree.root);
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2)
        ++lines;
    EXPECT_EQ(lines, kHostileNames.size() + 1);
    EXPECT_EQ(text.find_first_of("\r\n"), text.find("\r\n"));
    EXPECT_NE(text.find("|-- line\\nbreak   ("), std::string::npos);
    EXPECT_NE(text.find("|-- carriage\\rreturn   ("), std::string::npos);
    EXPECT_NE(text.find("|-- bad\xff\xfe utf8   ("), std::string::npos); // bytes kept as they are
}

TEST(HostileNames, TextTreeConnectorsFollowOnlyLaterDirectories) {
    TRootDirNode root;
    root.SetName("/r");
    TDirNode* a = Dir(&root, "a", 1, 1);
    Dir(a, "a1", 1, 1);
    File(&root, "later-file", 1);
    GetFileGroup(&root);
    TDirNode* single = Dir(a, "one", 1, 1);
    Dir(single, "deep", 0, 0);
    EXPECT_EQ(ExportText(Format("txt"), &root), "   /r   (0, 0 Files)\r\n"
                                                "       `-- a   (1, 1 File)\r\n"
                                                "           |-- a1   (1, 1 File)\r\n"
                                                "           `-- one   (1, 1 File)\r\n"
                                                "               `-- deep   (0, 0 Files)\r\n");
}

} // namespace
