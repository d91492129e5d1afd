// The two XML resources compiled into the program: the GUI-text catalogue and the
// supported-property list. Both files keep one element per line, which lets these
// checks read them line by line without the XML library.
#include "base/EmbeddedResources.h"
#include "base/Utf.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace orvex;

namespace {

constexpr std::string_view kLineBreakMarker = "\xE2\x96\xA3"; // U+25A3
constexpr std::string_view kAcceleratorMarker = "\xE2\x96\xB8"; // U+25B8

std::string_view Resource(std::u16string_view name) {
    const auto bytes = FindEmbeddedResource(name);
    if (!bytes)
        ADD_FAILURE() << "resource not embedded";
    return bytes.value_or(std::string_view());
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}

// The value of attribute name in an element line, escaped as written; empty when absent.
std::string AttributeOf(std::string_view line, std::string_view name) {
    const std::string key = std::string(" ").append(name).append("=\"");
    const size_t start = line.find(key);
    if (start == std::string_view::npos)
        return {};
    const size_t from = start + key.size();
    return std::string(line.substr(from, line.find('"', from) - from));
}

// The "%s"/"%d" placeholders of a text, in order.
std::string Placeholders(std::string_view text) {
    std::string found;
    for (size_t i = text.find('%'); i != std::string_view::npos; i = text.find('%', i + 1))
        found.append(text.substr(i, 2));
    return found;
}

bool StartsWith(std::string_view line, std::string_view prefix) {
    const size_t indent = line.find_first_not_of(' ');
    return indent != std::string_view::npos && line.substr(indent).starts_with(prefix);
}

} // namespace

TEST(ResourceFiles, AreValidUtf8WithLfLineEnds) {
    for (const std::u16string_view name : {u"Orvex_GUI_Text", u"SupportedProperty"}) {
        SCOPED_TRACE(Utf16ToUtf8(name));
        const std::string_view bytes = Resource(name);
        const std::u16string text = Utf8ToUtf16(bytes);
        EXPECT_EQ(text.find(u'\uFFFD'), std::u16string::npos);
        EXPECT_EQ(Utf16ToUtf8(text), bytes);
        EXPECT_EQ(bytes.find('\r'), std::string_view::npos);
        EXPECT_TRUE(bytes.ends_with(">\n"));
    }
    EXPECT_TRUE(Resource(u"Orvex_GUI_Text").starts_with("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"));
    EXPECT_TRUE(Resource(u"SupportedProperty").starts_with("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Root>\n"));
}

TEST(ResourceFiles, EveryDialogAndKeywordHasSixLanguagesWithTheEnglishPlaceholders) {
    // key -> languages in file order ("" for English) and the placeholders of each entry
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> entries;
    for (const std::string_view line : SplitLines(Resource(u"Orvex_GUI_Text"))) {
        if (StartsWith(line, "<Dialog "))
            entries[AttributeOf(line, "type") + "/" + AttributeOf(line, "id")].emplace_back(
                AttributeOf(line, "lingvo"), Placeholders(AttributeOf(line, "text")));
        else if (StartsWith(line, "<Keyword "))
            entries["Keyword/" + AttributeOf(line, "name")].emplace_back(
                AttributeOf(line, "lingvo"), Placeholders(AttributeOf(line, "value")));
    }
    EXPECT_EQ(entries.size(), 24u + 9u);
    const std::vector<std::string> languages = {"", "chi", "deu", "fra", "por", "spa"};
    for (const auto& [key, list] : entries) {
        SCOPED_TRACE(key);
        ASSERT_EQ(list.size(), languages.size());
        for (size_t i = 0; i < list.size(); ++i) {
            EXPECT_EQ(list[i].first, languages[i]);
            EXPECT_EQ(list[i].second, list[0].second);
        }
    }
    EXPECT_EQ(entries["DialogYesNoCancel/websiteexist"][0].second, "%s%s");
    EXPECT_EQ(entries["MsgInfoOk/restorefixpathscount"][0].second, "%d");
}

TEST(ResourceFiles, MarkersStandOnlyWhereTheLookupsReplaceThem) {
    int breaks = 0;
    int accelerators = 0;
    for (const std::string_view line : SplitLines(Resource(u"Orvex_GUI_Text"))) {
        if (line.find(kLineBreakMarker) != std::string_view::npos) {
            ++breaks;
            EXPECT_TRUE(StartsWith(line, "<Dialog ") || StartsWith(line, "<Keyword ")) << line;
        }
        if (line.find(kAcceleratorMarker) != std::string_view::npos) {
            ++accelerators;
            EXPECT_TRUE(StartsWith(line, "<MenuItem ")) << line;
        }
    }
    EXPECT_EQ(breaks, 6 * 6); // six dialog texts break lines
    EXPECT_GT(accelerators, 0);
}

TEST(ResourceFiles, SupportedPropertyListHoldsElevenClassesInTableOrder) {
    const std::vector<std::pair<std::string, int>> expected = {
        {"IIsWebService", 221}, {"IIsWebInfo", 9},       {"IIsFilters", 2},
        {"IIsFilter", 22},      {"IIsWebServer", 218},   {"IIsWebVirtualDir", 120},
        {"IIsWebDirectory", 128}, {"Pop3Svc", 8},        {"ServiceExtensions", 3},
        {"IIsApplicationPools", 36}, {"IIsApplicationPool", 36}};
    std::vector<std::pair<std::string, int>> found;
    for (const std::string_view line : SplitLines(Resource(u"SupportedProperty"))) {
        if (line.starts_with("  <") && !line.starts_with("  </"))
            found.emplace_back(std::string(line.substr(3, line.size() - 4)), 0);
        else if (StartsWith(line, "<Property id=\"") && !found.empty())
            ++found.back().second;
    }
    EXPECT_EQ(found, expected);
}
