#include "engine/NodeKeys.h"

#include "RestoreFixture.h"
#include "engine/BackupDocument.h"
#include "engine/WebBackup.h"

#include <gtest/gtest.h>

#include <functional>

namespace orvex {
namespace {

using test::TRestoreFixture;
using Lines = std::vector<std::string>;

const char* KeyFixture =
    "<Root><Machines><Machine backupName=\"Default\" path=\"w3svc\" className=\"IIsWebService\">"
    "<Property id=\"MaxConnections\" type=\"INTEGER\" value=\"1\" Inherit=\"False\"/>"
    "<SubDir path=\"1\" className=\"IIsWebServer\" siteName=\"Default Web Site\">"
    "<Property id=\"ServerBindings\" type=\"LIST\" value=\"\" Inherit=\"False\"><Item value=\":80:\"/><Item "
    "value=\"10.0.0.5:80:\"/></Property>"
    "<SubDir path=\"ROOT\" className=\"IIsWebVirtualDir\"><Property id=\"Path\" type=\"STRING\" value=\"C:\\x\" "
    "Inherit=\"False\"/><subdir path=\"images\" className=\"IIsWebDirectory\"/><Foo value=\"C:\\y\"/></SubDir>"
    "</SubDir></Machine></Machines></Root>";

class NodeKeysTest : public TRestoreFixture {
protected:
    std::unique_ptr<TWideXmlDocument> Document;
    void SetUp() override {
        TRestoreFixture::SetUp();
        WriteBackupFile(KeyFixture);
        Document = LoadBackupDocument();
    }
    TWideXmlNode& Machines() { return MachinesElement(*Document); }
    TWideXmlNode& Machine() { return *Machines().Nodes(0); }
    TWideXmlNode& Site() { return *FindSubDirElement(Machine(), u"1"); }
    TWideXmlNode& Root() { return *FindSubDirElement(Site(), u"ROOT"); }
};

TEST_F(NodeKeysTest, KeysOfEveryKindOfElement) {
    TWideXmlNode& bindings = *Site().Nodes(0);
    const std::pair<const TWideXmlNode*, std::u16string> rows[] = {
        {&Machines(), u""},
        {&Machine(), u"Default"},
        {Machine().Nodes(0), u"Default@@MaxConnections"},
        {&Site(), u"Default/1"},
        {&bindings, u"Default/1@@ServerBindings"},
        {bindings.Nodes(0), u"Default/1@@ServerBindings@@Item"},
        {bindings.Nodes(1), u"Default/1@@ServerBindings@@Item"},
        {&Root(), u"Default/1/ROOT"},
        {Root().Nodes(0), u"Default/1/ROOT@@Path"},
        {Root().Nodes(1), u"Default/1/ROOT/images"},  // element names ignore case
    };
    for (const auto& [element, key] : rows) EXPECT_EQ(GetNodeKey(*element), key) << Utf16ToUtf8(key);
}

TEST_F(NodeKeysTest, ElementsOutsideTheGrammarRaise) {
    for (const auto& [element, message] : {std::pair<const TWideXmlNode*, std::string>{Root().Nodes(2), "Unknown type. type=Foo"},
                                           {Document->Root(), "Unknown type. type=Root"}}) {
        try {
            GetNodeKey(*element);
            ADD_FAILURE() << message;
        } catch (const ENodeKeyError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

TEST_F(NodeKeysTest, FindBackupNodeWalksPaths) {
    const std::pair<std::u16string, const TWideXmlNode*> rows[] = {
        {u"", &Machine()},           {u"w3svc", &Machine()},          {u"W3SVC/1", &Site()},
        {u"w3svc/1/ROOT", &Root()},  {u"w3svc/1/root", &Root()},      {u"1/ROOT", &Root()},
        {u"w3svc/1/ROOT/images", Root().Nodes(1)},
    };
    for (const auto& [path, element] : rows)
        EXPECT_EQ(FindBackupNode(*Document, u"default", path), element) << Utf16ToUtf8(path);
    EXPECT_TRUE(Sink.Lines.empty());
}

TEST_F(NodeKeysTest, FindBackupNodeNamesWhatIsMissing) {
    EXPECT_EQ(FindBackupNode(*Document, u"Other", u"w3svc/1"), nullptr);
    EXPECT_EQ(FindBackupNode(*Document, u"Default", u"w3svc/1/NOPE/deeper"), nullptr);
    EXPECT_EQ(FindBackupNode(*Document, u"Default", u"w3svc/1/ROOT/"), &Root());  // nothing left after the slash
    EXPECT_EQ(Black(), (Lines{"Error: Can not find backupName=Other!", "Error: Can not find path=w3svc/1/NOPE!"}));
    EXPECT_FALSE(BackupErrorFlag());
}

// Every element of a real backup: its key, taken apart as the check dialogs do,
// leads back to it.
TEST_F(NodeKeysTest, KeysOfABackupResolveBackToTheirElements) {
    MakeMachine(u"localhost", [](TMachineState&) {});
    EnsureBackupFile();
    WriteBackupFile("<Root><Machines/></Root>");
    ASSERT_TRUE(BackupMachine(u"Default", u"localhost"));
    auto document = LoadBackupDocument();
    int checked = 0;
    std::function<void(TWideXmlNode&)> visit = [&](TWideXmlNode& element) {
        for (int i = 0; i < element.NodeCount(); ++i) {
            TWideXmlNode& child = *element.Nodes(i);
            if (child.Name() == u"Item") continue;
            std::u16string key = GetNodeKey(child);
            size_t at = key.find(u"@@");
            std::u16string nodePart = key.substr(0, at);
            size_t slash = nodePart.find(u'/');
            std::u16string backup = nodePart.substr(0, slash);
            std::u16string path = slash == std::u16string::npos ? u"" : nodePart.substr(slash + 1);
            TWideXmlNode* found = FindBackupNode(*document, backup, path);
            ASSERT_NE(found, nullptr) << Utf16ToUtf8(key);
            if (at != std::u16string::npos) {
                EXPECT_EQ(found, child.Parent()) << Utf16ToUtf8(key);
                EXPECT_EQ(child.AttributeByName(u"id"), key.substr(at + 2));
            } else {
                EXPECT_EQ(found, &child) << Utf16ToUtf8(key);
            }
            ++checked;
            visit(child);
        }
    };
    visit(*FindMachineElement(MachinesElement(*document), u"Default"));
    EXPECT_GT(checked, 500);
}

} // namespace
} // namespace orvex
