#include "engine/TreeNodeData.h"

#include "engine/EngineState.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

TEST(TreeNodeDataTest, NewRecordCopiesTextsWithFlagsClear) {
    auto record = NewTreeNodeData(u"ROOT", u"IIsWebVirtualDir");
    EXPECT_EQ(record->PathText(), u"ROOT");
    EXPECT_EQ(record->ClassNameText(), u"IIsWebVirtualDir");
    EXPECT_EQ(record->Checked, 0);
    EXPECT_EQ(record->PropertiesChecked, 0);
    FreeTreeNodeData(record);
    EXPECT_EQ(record, nullptr);
    FreeTreeNodeData(record);  // twice is harmless
}

TEST(TreeNodeDataTest, LongTextsAreCutAt255Units) {
    std::u16string exact(255, u'p');
    EXPECT_EQ(NewTreeNodeData(exact, u"")->PathText(), exact);
    EXPECT_EQ(NewTreeNodeData(exact + u"q", u"")->PathText(), exact);
    EXPECT_EQ(NewTreeNodeData(u"", std::u16string(300, u'c'))->ClassNameText().size(), 255u);
    // A surrogate pair across the limit goes whole.
    std::u16string pair = std::u16string(254, u'p') + u"\U0001F600";
    EXPECT_EQ(NewTreeNodeData(pair, u"")->PathText(), std::u16string(254, u'p'));
    EXPECT_EQ(NewTreeNodeData(u"", u"")->PathText(), u"");
}

TEST(EngineStateTest, NamedValues) {
    SetBackupFileName(u"/tmp/Metabase.xml");
    EXPECT_EQ(BackupFileName(), u"/tmp/Metabase.xml");
    SetBackupFileName(u"");
    EXPECT_EQ(SiteConflictMode(), scmUnset);
    SetSiteConflictMode(scmAsk);
    EXPECT_EQ(SiteConflictMode(), 4);
    SetSiteConflictMode(scmUnset);
}

} // namespace
} // namespace orvex
