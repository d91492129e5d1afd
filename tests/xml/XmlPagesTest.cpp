// Under AddressSanitizer the memory a node or a text gives back is freed at once,
// so that keeping a view or a node past that point is reported, not read quietly
// from a page that still lives.

#include "xml/XmlPages.h"

#ifdef ORVEX_ADDRESS_SANITIZER

#include "xml/XmlDocument.h"
#include "xml/XmlNode.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

using namespace orvex;

namespace {

// Longer than a text keeps in place.
constexpr std::string_view kLong = "a text of more than fifteen bytes";

// Reads every byte, in a way no optimiser drops.
void Read(std::string_view view) {
    volatile char sink = 0;
    for (char c : view)
        sink = static_cast<char>(sink ^ c);
}

TEST(XmlPagesDeathTest, UsingWhatWasGivenBackIsReported) {
    const std::string text = "<r>" + std::string(kLong) + "</r>";
    const struct {
        const char* Name;
        std::string Xml;
        void (*Misuse)(TUtf8XmlDocument&);
    } cases[] = {
        {"a view kept across SetValueDirect", text,
         [](TUtf8XmlDocument& doc) {
             const std::string_view view = doc.Root()->ValueDirect();
             doc.Root()->SetValueDirect("new");
             Read(view);
         }},
        {"an attribute view kept across SetAttributeValue", "<r a=\"" + std::string(kLong) + "\"/>",
         [](TUtf8XmlDocument& doc) {
             const std::string_view view = doc.Root()->Attributes().Items(0);
             doc.Root()->SetAttributeValue(0, "new");
             Read(view);
         }},
        {"a view kept across a reload", text,
         [](TUtf8XmlDocument& doc) {
             const std::string_view view = doc.Root()->ValueDirect();
             doc.ReadFromString("<s/>");
             Read(view);
         }},
        {"a node kept after NodeDelete", "<r><child/><other/></r>",
         [](TUtf8XmlDocument& doc) {
             TUtf8XmlNode* child = doc.Root()->Nodes(0);
             doc.Root()->NodeDelete(0);
             Read(child->Name());
         }},
    };
    for (const auto& c : cases) {
        TUtf8XmlDocument doc;
        doc.ReadFromString(c.Xml);
        EXPECT_DEATH(c.Misuse(doc), "heap-use-after-free") << c.Name;
    }
}

} // namespace

#endif
