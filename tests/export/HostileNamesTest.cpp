// Names are bytes: whatever they hold, each format must stay readable by its own kind of reader.

#include "ExportFixtures.h"
#include "common/TempTree.h"

#include "export/HtmlTableExport.h"
#include "export/TextExports.h"
#include "export/XmlEscape.h"

#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

const std::vector<std::string> kHostileNames = {
    "line\nbreak", "carriage\rreturn", "say \"hi\"", "Tom & Jerry's", "<script>alert(1)</script>",
    "a,b,c",       "bad\xff\xfe utf8", "tab\there",  "bell\x07",      "ünïcødé 自白",
    "\xEF\xBB\xBF"}; // U+FEFF alone: a legal character, not a byte-order mark to drop

void AddHostileNames(TRootDirNode& root) {
    root.SetName("/r<&>\"'");
    for (const std::string& name : kHostileNames)
        Dir(&root, name, 1, 1);
}

// Python's csv module is the reference reader; paths come back as raw bytes via surrogateescape.
TEST(HostileNames, CsvReadBackByAStandardParserGivesThePaths) {
    if (std::system("python3 -c 'import csv' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 not available";
    TempTree dir;
    const std::string csvPath = dir / "tree.csv";
    TRootDirNode tree;
    AddHostileNames(tree);
    Format("csv").Create(&tree)->ExportToFile(csvPath);
    const std::string script =
        "import csv,sys\n"
        "for r in csv.reader(open(sys.argv[1],encoding=\"utf-8\",errors=\"surrogateescape\",newline=\"\")):\n"
        "    assert len(r)==3, r\n"
        "    sys.stdout.buffer.write(r[0].encode(\"utf-8\",\"surrogateescape\")+b\"\\0\")\n";
    FILE* reader = ::popen(("python3 -c '" + script + "' " + csvPath).c_str(), "r");
    ASSERT_NE(reader, nullptr);
    std::string paths;
    for (int c = std::fgetc(reader); c != EOF; c = std::fgetc(reader))
        paths += static_cast<char>(c);
    EXPECT_EQ(::pclose(reader), 0);
    std::string expected = tree.Name() + '\0';
    for (const std::string& name : kHostileNames)
        expected += tree.Name() + "/" + name + '\0';
    EXPECT_EQ(paths, expected);
    EXPECT_EQ(CsvField("a;b", ';'), "\"a;b\"") << "quoted for the separator in use";
}

// The names a conforming reader sees in either dialect: <name> elements or name attributes.
std::string XmlNames(const std::string& document) {
    QXmlStreamReader reader(QByteArray::fromStdString(document));
    QStringList names;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.attributes().hasAttribute("name"))
            names << reader.attributes().value("name").toString();
        else if (reader.isStartElement() && reader.name() == u"name")
            names << reader.readElementText();
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return names.join('|').toStdString();
}

TEST(HostileNames, XmlParsesHtmlCarriesNoMarkupAndTheTextTreeKeepsOneLinePerDirectory) {
    TRootDirNode tree;
    AddHostileNames(tree);
    // Names come back as written but for what XML cannot carry.
    QStringList expected{QString::fromUtf8(tree.Name())};
    for (const std::string& name : kHostileNames)
        expected << (name == "\xEF\xBB\xBF" ? QString(QChar(0xFEFF))
                                            : QString::fromUtf8(name).replace(QChar(7), QChar(0xFFFD)));
    for (const char* dialect : {"xml", "xml2"})
        EXPECT_EQ(XmlNames(ExportText(Format(dialect), &tree)), expected.join('|').toStdString()) << dialect;
    // Sequences a lenient decoder might pass: an overlong "/", U+FFFE, and a control character.
    EXPECT_EQ(XmlEscape("x\xC0\xAFy", TMarkup::XmlContent).find("\xC0"), std::string::npos);
    EXPECT_EQ(XmlEscape("\xEF\xBF\xBE", TMarkup::XmlContent), "\xEF\xBF\xBD");
    EXPECT_EQ(XmlEscape("b\x1f", TMarkup::XmlAttribute), "b\xEF\xBF\xBD");

    const std::string page = ExportText(Format("html"), &tree);
    for (const char* raw : {"<script>", "Jerry's", "say \""})
        EXPECT_EQ(page.find(raw), std::string::npos) << raw;
    EXPECT_NE(page.find("<title>Quorvex - /r&lt;&amp;&gt;&quot;&#39;</title>"), std::string::npos);
    EXPECT_NE(page.find("<h1>/r&lt;&amp;&gt;&quot;&#39;</h1>"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_EQ(QString::fromUtf8(page).toUtf8().toStdString(), page) << "the page says UTF-8, so it must be";

    const std::string text = ExportText(Format("txt"), &tree);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), std::ssize(kHostileNames) + 1);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::ssize(kHostileNames) + 1);
    EXPECT_NE(text.find("|-- line\\nbreak   ("), std::string::npos);
    EXPECT_NE(text.find("|-- carriage\\rreturn   ("), std::string::npos);
    EXPECT_NE(text.find("|-- bad\xff\xfe utf8   ("), std::string::npos); // bytes kept as they are
}

} // namespace
