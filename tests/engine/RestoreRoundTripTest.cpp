// Back up the default machine, restore all of it into an empty machine, back that
// up again: every supported, non-inherited, non-secret value must come back.

#include "RestoreFixture.h"
#include "engine/BackupDocument.h"
#include "engine/IIsBinding.h"
#include "engine/NodeKeys.h"
#include "engine/SupportedProperties.h"
#include "engine/WebBackup.h"
#include "engine/WebRestore.h"
#include "platform/MetabaseSchema.h"

#include <gtest/gtest.h>

#include <functional>

namespace orvex {
namespace {

using test::TRestoreFixture;

void EmptyMachine(TMachineState& state) {
    TMetaObject& w3 = *state.Metabase->Find(u"W3SVC");
    while (!w3.Children().empty()) w3.RemoveChild(*w3.Children().front());
    std::vector<std::u16string> ids;
    for (const auto& [id, value] : w3.Properties()) ids.push_back(id);
    for (const auto& id : ids) w3.RemoveValue(id);
    TPop3State& pop = *state.Pop3;
    pop.Domains.clear();
    pop.LoggingLevel = 0;
    pop.MailRoot = u"E:\\Other";
    pop.ConfirmAddUser = 1;
    pop.ThreadCountPerCPU = 4;
    pop.Port = 1110;
    pop.SPARequired = 1;
    pop.CurrentAuthMethod = 3;
}

std::vector<std::u16string> ItemValues(const TWideXmlNode& property) {
    std::vector<std::u16string> values;
    for (int i = 0; i < property.NodeCount(); ++i) values.push_back(property.Nodes(i)->AttributeByName(u"value"));
    return values;
}

class RestoreRoundTripTest : public TRestoreFixture {};

TEST_F(RestoreRoundTripTest, DefaultMachineComesBackWhole) {
    MakeMachine(u"localhost", [](TMachineState&) {});
    EnsureBackupFile();
    ASSERT_TRUE(BackupMachine(u"Before", u"localhost"));
    MakeMachine(u"localhost", EmptyMachine);
    ASSERT_FALSE(IIsObjectExists(u"localhost", u"W3SVC/1"));
    auto tree = TreeOfFile();
    Sink.Lines.clear();
    RestoreMachine(u"localhost", u"IIS6", *tree);
    EXPECT_EQ(Red(), std::vector<std::string>{});
    ASSERT_TRUE(BackupMachine(u"After", u"localhost"));

    auto document = LoadBackupDocument();
    TWideXmlNode& machines = MachinesElement(*document);
    int compared = 0;
    std::function<void(const TWideXmlNode&, const std::u16string&)> compare = [&](const TWideXmlNode& element,
                                                                                const std::u16string& className) {
        for (int i = 0; i < element.NodeCount(); ++i) {
            const TWideXmlNode& child = *element.Nodes(i);
            if (child.Name() == u"SubDir") {
                compare(child, child.AttributeByName(u"className"));
                continue;
            }
            std::u16string id = child.AttributeByName(u"id");
            const TPropertyDef* def = FindPropertyDef(id);
            if (child.AttributeByName(u"Inherit") != u"False" || child.AttributeByName(u"type") == u"UNSUPPORTED" ||
                !IsSupportedProperty(className, id) || (def && def->Secure))
                continue;
            std::u16string key = GetNodeKey(child);
            SCOPED_TRACE(Utf16ToUtf8(key));
            std::u16string nodePart = key.substr(0, key.find(u"@@"));
            size_t slash = nodePart.find(u'/');
            std::u16string path = slash == std::u16string::npos ? u"" : nodePart.substr(slash + 1);
            TWideXmlNode* after = FindBackupNode(*document, u"After", path);
            ASSERT_NE(after, nullptr);
            const TWideXmlNode* match = nullptr;
            for (int j = 0; j < after->NodeCount(); ++j)
                if (after->Nodes(j)->Name() == u"Property" && after->Nodes(j)->AttributeByName(u"id") == id)
                    match = after->Nodes(j);
            ASSERT_NE(match, nullptr);
            EXPECT_EQ(Utf16ToUtf8(match->AttributeByName(u"type")), Utf16ToUtf8(child.AttributeByName(u"type")));
            EXPECT_EQ(Utf16ToUtf8(match->AttributeByName(u"value")), Utf16ToUtf8(child.AttributeByName(u"value")));
            EXPECT_EQ(ItemValues(*match), ItemValues(child));
            ++compared;
        }
    };
    compare(*FindMachineElement(machines, u"Before"), u"IIsWebService");
    EXPECT_GT(compared, 300);
}

} // namespace
} // namespace orvex
