#include <gtest/gtest.h>

#include <windows.h>
#include <msxml2.h>

#include <climits>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "OffCycleTestSupport.h"
#include "common/Handles.h"
#include "common/TestSupport.h"
#include "offcycle/ManifestParser.h"
#include "offcycle/ManifestTable.h"
#include "offcycle/MsxmlGuids.h"
#include "offcycle/SAXContentHandlerImpl.h"
#include "offcycle/SAXContentHandlerState.h"
#include "offcycle/SAXContentHandlerStateFactory.h"

using tw::Manifest::ManifestItem;
using tw::Manifest::ManifestTable;
using tw::Manifest::ParseManifestFile;
using tw::Manifest::SAXContentHandlerStateFactory;
using twtest::TempDir;

namespace {

class ManifestParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com.Result()));
        HRESULT hr = CoCreateInstance(tw::Manifest::kClsidSAXXMLReader60, nullptr, CLSCTX_ALL,
                                      tw::Manifest::kIidISAXXMLReader, reader.PutVoid());
        ASSERT_EQ(S_OK, hr) << "the MSXML 6 SAX reader is not available";
    }

    HRESULT Parse(const std::string& xml, ManifestTable& table) {
        std::string path = dir / ("m" + std::to_string(++counter) + ".xml");
        EXPECT_TRUE(octest::WriteBinaryFile(path, xml));
        return ParseManifestFile(factory, table, path.c_str(), reader.Get());
    }

    static std::vector<std::wstring> Features(const ManifestTable& table) {
        std::vector<std::wstring> out;
        for (const auto& entry : table.items) out.push_back(entry.first);
        return out;
    }

    tw::ComInit com;
    tw::ComPtr<ISAXXMLReader> reader;
    std::unique_ptr<SAXContentHandlerStateFactory> factory;
    TempDir dir{"manifest"};
    int counter = 0;
};

TEST_F(ManifestParserTest, FullManifestFillsEveryField) {
    const std::string xml =
        "<?xml version=\"1.0\"?>\n"
        "<manifest>\n"
        " <identity>\n"
        "  <type>offcycle</type><version>1</version><channel>beta</channel>\n"
        "  <product><name>Tallyworks</name><name>Tallyworks Pro</name><name>Tallyworks</name>"
        "<version>24</version></product>\n"
        " </identity>\n"
        " <item><file base=\"CommonAppDataFolder\">data\\a.dat</file><feature>Core</feature>"
        "<action from=\"1\">modify</action><action from=\"1\">remove</action><action>add</action></item>\n"
        " <item><feature>Core</feature><file>bin\\b.dll</file></item>\n"
        " <item><file>c.txt</file></item>\n"
        " <item><feature>Alpha</feature></item>\n"
        "</manifest>\n";
    ManifestTable table;
    ASSERT_EQ(S_OK, Parse(xml, table));
    EXPECT_EQ(L"offcycle", table.manifestType);
    EXPECT_EQ(1, table.manifestVersion);
    EXPECT_EQ(L"beta", table.manifestChannel);
    EXPECT_EQ((std::list<std::wstring>{L"Tallyworks", L"Tallyworks Pro", L"Tallyworks"}), table.productNames);
    EXPECT_EQ(24, table.productVersion);
    EXPECT_EQ(nullptr, table.currentItem);

    // Code-unit order of the keys; equal keys in document order.
    ASSERT_EQ((std::vector<std::wstring>{L"", L"Alpha", L"Core", L"Core"}), Features(table));
    auto core = table.items.equal_range(L"Core");
    const ManifestItem* first = core.first->second.get();
    const ManifestItem* second = std::next(core.first)->second.get();
    EXPECT_EQ(L"data\\a.dat", first->file);
    EXPECT_EQ(L"CommonAppDataFolder", first->base);
    EXPECT_EQ((std::map<std::wstring, std::wstring>{{L"", L"add"}, {L"1", L"modify"}}), first->actions);
    EXPECT_EQ(L"bin\\b.dll", second->file);
    EXPECT_EQ(L"INSTALLDIR", second->base);  // no base attribute
    EXPECT_TRUE(second->actions.empty());

    const ManifestItem* noFeature = table.items.find(L"")->second.get();
    EXPECT_EQ(L"c.txt", noFeature->file);
    EXPECT_EQ(L"", noFeature->feature);
    const ManifestItem* noFile = table.items.find(L"Alpha")->second.get();
    EXPECT_EQ(L"", noFile->file);
    EXPECT_EQ(L"", noFile->base);  // no file element at all
}

struct IdentityCase {
    const char* name;
    const char* xml;
    HRESULT result;
    const wchar_t* type;
    int version;
    int productVersion;
    size_t items;
};

class ManifestIdentityTest : public ManifestParserTest, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(ManifestIdentityTest, Parses) {
    const IdentityCase& c = GetParam();
    ManifestTable table;
    EXPECT_EQ(c.result, Parse(c.xml, table));
    EXPECT_EQ(c.type, table.manifestType);
    EXPECT_EQ(c.version, table.manifestVersion);
    EXPECT_EQ(c.productVersion, table.productVersion);
    EXPECT_EQ(c.items, table.items.size());
}

const IdentityCase kIdentityCases[] = {
    {"OtherRootGivesEmptyTable",
     "<root><identity><type>offcycle</type><version>1</version></identity><item><feature>F</feature></item></root>",
     S_OK, L"", 0, 0, 0},
    {"VersionOutsideIdentityIsSkipped",
     "<manifest><version>5</version><identity><type>patch</type></identity></manifest>", S_OK, L"patch", 0, 0, 0},
    {"CapitalisedTypeFails", "<manifest><identity><type>Offcycle</type><version>1</version></identity></manifest>",
     E_FAIL, L"", 0, 0, 0},
    {"TypeWithLineBreaksFails", "<manifest><identity><type>\noffcycle\n</type></identity></manifest>", E_FAIL, L"", 0,
     0, 0},
    {"EmptyTypeFails", "<manifest><identity><type></type></identity></manifest>", E_FAIL, L"", 0, 0, 0},
    {"ItemsBeforeFailureStay",
     "<manifest><item><feature>F</feature></item><identity><version>3</version><type>x</type></identity>"
     "<item><feature>G</feature></item></manifest>",
     E_FAIL, L"", 3, 0, 1},
    {"NonNumericVersionIsZero", "<manifest><identity><version>abc</version></identity></manifest>", S_OK, L"", 0, 0, 0},
    {"BlankPrefixedVersion", "<manifest><identity><version>   7</version></identity></manifest>", S_OK, L"", 7, 0, 0},
    {"VersionStopsAtFirstNonDigit",
     "<manifest><identity><version>-12abc</version><product><version>+33 4</version></product></identity>"
     "</manifest>",
     S_OK, L"", -12, 33, 0},
    {"VersionBeyondRangeGivesLimit",
     "<manifest><identity><version>99999999999</version><product><version>-99999999999</version></product>"
     "</identity></manifest>",
     S_OK, L"", INT_MAX, INT_MIN, 0},
    {"EmptyVersionIsZero", "<manifest><identity><version/></identity></manifest>", S_OK, L"", 0, 0, 0},
    {"ProductVersionOnlyInsideProduct",
     "<manifest><identity><type>patch</type><product><version>12</version></product></identity></manifest>", S_OK,
     L"patch", 0, 12, 0},
    {"UnknownElementsAndAttributesIgnored",
     "<manifest x=\"1\"><extra><item><feature>F</feature></item><identity><version>9</version></identity></extra>"
     "<identity z=\"2\"><type>offcycle</type><unknown><version>4</version></unknown><version>1</version>"
     "</identity><item><other><feature>G</feature></other></item></manifest>",
     S_OK, L"offcycle", 1, 0, 1},
    {"ElementNamesAreCaseSensitive",
     "<manifest><Identity><type>Offcycle</type></Identity><ITEM><feature>F</feature></ITEM></manifest>", S_OK, L"", 0,
     0, 0},
    {"TypeTextJoinedAroundCharacterReference",
     "<manifest><identity><type>off&#99;ycle</type><version>1</version></identity></manifest>", S_OK, L"offcycle", 1, 0,
     0},
    {"PrefixedElementsAreRecognisedByLocalName",
     "<m:manifest xmlns:m=\"urn:tallyworks\"><m:identity><m:type>offcycle</m:type><m:version>1</m:version>"
     "</m:identity><m:item><m:feature>F</m:feature></m:item></m:manifest>",
     S_OK, L"offcycle", 1, 0, 1},
};

INSTANTIATE_TEST_SUITE_P(Cases, ManifestIdentityTest, ::testing::ValuesIn(kIdentityCases),
                         [](const ::testing::TestParamInfo<IdentityCase>& row) { return row.param.name; });

// The reader delivers an element's text in several blocks around references and sections;
// the item's texts are the blocks joined, and each element starts from an empty text.
struct ItemTextCase {
    const char* name;
    const char* items;
    std::vector<std::pair<std::wstring, std::wstring>> expected;  // (feature, file) in map order
};

class ManifestItemTextTest : public ManifestParserTest, public ::testing::WithParamInterface<ItemTextCase> {};

TEST_P(ManifestItemTextTest, Parses) {
    const ItemTextCase& c = GetParam();
    ManifestTable table;
    ASSERT_EQ(S_OK, Parse(std::string("<manifest>") + c.items + "</manifest>", table));
    std::vector<std::pair<std::wstring, std::wstring>> actual;
    for (const auto& entry : table.items) {
        EXPECT_EQ(entry.first, entry.second->feature);
        actual.emplace_back(entry.second->feature, entry.second->file);
    }
    EXPECT_EQ(c.expected, actual);
}

const ItemTextCase kItemTextCases[] = {
    {"PlainText", "<item><file>bin\\a.dll</file><feature>Core</feature></item>", {{L"Core", L"bin\\a.dll"}}},
    {"EntityAndCharacterReferences",
     "<item><file>Rates\\R&amp;D rates.dat</file><feature>Co&#114;e</feature></item>",
     {{L"Core", L"Rates\\R&D rates.dat"}}},
    {"ReferencesAtBothEnds",
     "<item><file>&lt;&#x41;b&#99;&gt;</file><feature>&#70;&#71;</feature></item>",
     {{L"FG", L"<Abc>"}}},
    {"CDataSection",
     "<item><file>a<![CDATA[&b]]>.dll</file><feature><![CDATA[X]]></feature></item>",
     {{L"X", L"a&b.dll"}}},
    {"TextAroundAnUnknownChild",
     "<item><file>bi<note>skipped</note>n.dll</file><feature>Co<x/>re</feature></item>",
     {{L"Core", L"bin.dll"}}},
    {"EachElementStartsEmpty",
     "<item><file>R&amp;D.dll</file><feature>A&amp;B</feature></item><item><file/><feature></feature></item>"
     "<item><file>x</file><feature>A&amp;B</feature></item>",
     {{L"", L""}, {L"A&B", L"R&D.dll"}, {L"A&B", L"x"}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ManifestItemTextTest, ::testing::ValuesIn(kItemTextCases),
                         [](const ::testing::TestParamInfo<ItemTextCase>& row) { return row.param.name; });

TEST_F(ManifestParserTest, MalformedXmlReturnsTheReadersFailure) {
    const char* bad[] = {"<manifest><identity></manifest>", "not xml at all", "", "<manifest>"};
    for (const char* xml : bad) {
        ManifestTable table;
        HRESULT hr = Parse(xml, table);
        EXPECT_TRUE(FAILED(hr)) << xml;
    }
}

TEST_F(ManifestParserTest, MissingFileGivesErrnoResult) {
    ManifestTable table;
    std::string path = dir / "absent.xml";
    EXPECT_EQ(static_cast<HRESULT>(0x80070002), ParseManifestFile(factory, table, path.c_str(), reader.Get()));
    ASSERT_NE(nullptr, factory.get());  // created on first use and kept
}

TEST_F(ManifestParserTest, FileIsReadAsAnsiWhateverItsDeclarationSays) {
    // 0xE9 is not valid UTF-8 on its own; read through the ANSI code page it is one character.
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><manifest><item><file base=\"caf\xE9\">x</file>"
        "<feature>A</feature></item></manifest>";
    wchar_t expected[8] = {};
    MultiByteToWideChar(CP_ACP, 0, "caf\xE9", -1, expected, 8);
    ManifestTable table;
    ASSERT_EQ(S_OK, Parse(xml, table));
    ASSERT_EQ(1u, table.items.size());
    EXPECT_EQ(std::wstring(expected), table.items.begin()->second->base);
}

TEST_F(ManifestParserTest, TextAfterZeroByteIsIgnored) {
    std::string xml = "<manifest><item><feature>A</feature></item></manifest>";
    xml += std::string("\0<garbage", 9);
    ManifestTable table;
    EXPECT_EQ(S_OK, Parse(xml, table));
    EXPECT_EQ(1u, table.items.size());
}

TEST_F(ManifestParserTest, SeveralMegabytesOfItems) {
    std::string xml = octest::OffCycleManifest("");
    std::string items;
    const int count = 40000;
    for (int i = 0; i < count; ++i)
        items += "<item><file>folder\\file" + std::to_string(i) + ".dll</file><feature>F" + std::to_string(i % 7) +
                 "</feature><action from=\"x\">modify</action></item>\n";
    xml.insert(xml.find("</manifest>"), items);
    ASSERT_GT(xml.size(), 3u * 1024 * 1024);
    ManifestTable table;
    ASSERT_EQ(S_OK, Parse(xml, table));
    EXPECT_EQ(static_cast<size_t>(count), table.items.size());
    EXPECT_EQ(1, table.manifestVersion);
}

TEST_F(ManifestParserTest, DeeplyNestedUnknownElementsDoNotCrash) {
    const int depth = 20000;
    std::string xml = "<manifest><item><feature>Top</feature></item>";
    for (int i = 0; i < depth; ++i) xml += "<deep>";
    xml += "<item><feature>Hidden</feature></item>";
    for (int i = 0; i < depth; ++i) xml += "</deep>";
    xml += "</manifest>";
    ManifestTable table;
    HRESULT hr = Parse(xml, table);
    // The reader may refuse the depth; either way nothing below an unknown element is taken.
    if (SUCCEEDED(hr)) {
        EXPECT_EQ(1u, table.items.size());
    }
    EXPECT_EQ(0u, table.items.count(L"Hidden"));
    EXPECT_EQ(1u, table.items.count(L"Top"));
}

TEST_F(ManifestParserTest, LongTextsAreKeptWhole) {
    std::string longFile(100000, 'f');
    std::string longFeature(70000, 'g');
    std::string xml = "<manifest><item><file base=\"" + std::string(5000, 'b') + "\">" + longFile + "</file><feature>" +
                      longFeature + "</feature><action from=\"" + std::string(3000, 'r') + "\">" +
                      std::string(9000, 'a') + "</action></item><identity><channel>" + std::string(20000, 'c') +
                      "</channel></identity></manifest>";
    ManifestTable table;
    ASSERT_EQ(S_OK, Parse(xml, table));
    ASSERT_EQ(1u, table.items.size());
    const ManifestItem* item = table.items.begin()->second.get();
    // A long text may come in several blocks; they are joined.
    EXPECT_EQ(std::wstring(longFile.begin(), longFile.end()), item->file);
    EXPECT_EQ(std::wstring(longFeature.begin(), longFeature.end()), item->feature);
    EXPECT_EQ(5000u, item->base.size());
    EXPECT_EQ(1u, item->actions.size());
    EXPECT_EQ(3000u, item->actions.begin()->first.size());
    EXPECT_EQ(20000u, table.manifestChannel.size());
}

TEST(ManifestTableTest, ValidTypesAreExact) {
    ManifestTable table;
    EXPECT_TRUE(table.IsValidType(L"patch"));
    EXPECT_TRUE(table.IsValidType(L"offcycle"));
    EXPECT_FALSE(table.IsValidType(L"Patch"));
    EXPECT_FALSE(table.IsValidType(L"offcycle "));
    EXPECT_FALSE(table.IsValidType(L""));
}

TEST(ManifestItemTest, FirstActionForAFromValueStays) {
    ManifestItem item;
    EXPECT_TRUE(item.file.empty() && item.base.empty() && item.feature.empty() && item.actions.empty());
    item.AddAction(L"a", L"add");
    item.AddAction(L"a", L"remove");
    item.AddAction(L"", L"replace");
    EXPECT_EQ((std::map<std::wstring, std::wstring>{{L"", L"replace"}, {L"a", L"add"}}), item.actions);
}

// A state that counts the live instances of its kind.
class CountedState : public tw::Manifest::SAXContentHandlerState {
public:
    explicit CountedState(int& live) : m_live(live) { ++m_live; }
    ~CountedState() override { --m_live; }
    HRESULT startElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int, ISAXAttributes*) override {
        return S_OK;
    }
    HRESULT endElement(const wchar_t*, int, const wchar_t*, int, const wchar_t*, int) override { return S_OK; }
    HRESULT characters(const wchar_t*, int) override { return S_OK; }

private:
    int& m_live;
};

// Builds the first state counted and runs out of memory at the last one.
class FailingFactory : public SAXContentHandlerStateFactory {
public:
    tw::Manifest::SAXContentHandlerState* CreateManifestState(tw::Manifest::SAXContentHandlerImpl*) override {
        return new CountedState(live);
    }
    tw::Manifest::SAXContentHandlerState* CreateUnexpectedState(tw::Manifest::SAXContentHandlerImpl*) override {
        throw std::bad_alloc();
    }
    int live = 0;
};

// A handler whose construction fails half-way destroys the states it already had.
TEST(ManifestContentHandler, StatesBuiltBeforeAFailureAreDestroyed) {
    FailingFactory factory;
    EXPECT_THROW(tw::Manifest::SAXContentHandlerImpl handler(&factory), std::bad_alloc);
    EXPECT_EQ(0, factory.live);
}

}  // namespace
