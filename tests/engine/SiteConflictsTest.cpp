#include "engine/SiteConflicts.h"

#include "RestoreFixture.h"
#include "engine/BackupDocument.h"
#include "engine/EngineState.h"
#include "platform/DefaultMachine.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

using test::TRestoreFixture;
using Lines = std::vector<std::string>;

std::string Site(const std::string& id, const std::string& name, const std::string& inner = "") {
    return "<SubDir path=\"" + id + "\" className=\"IIsWebServer\" siteName=\"" + name + "\">" + inner + "</SubDir>";
}

std::string AppRoot(const std::string& value) {
    return "<Property id=\"AppRoot\" type=\"STRING\" value=\"" + value + "\" Inherit=\"False\"/>";
}

std::string BackupXml(const std::string& sites) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Root><Machines><Machine backupName=\"B\" machineName=\"src\" "
           "path=\"w3svc\" className=\"IIsWebService\">" +
           sites + "</Machine></Machines></Root>";
}

class SiteConflictsTest : public TRestoreFixture {
protected:
    void SetUp() override {
        TRestoreFixture::SetUp();
        MakeMachine(u"localhost", [](TMachineState&) {});  // sites 1 Default Web Site, 2 Intranet
    }
    // Backup B with only the given sites checked.
    std::unique_ptr<test::TMemoryTree> TreeChoosing(std::initializer_list<std::u16string> ids) {
        auto tree = TreeOfFile();
        auto& top = tree->Node(u"B");
        top.Check(false, false);
        top.Check(true, true, false);
        for (const auto& id : ids) tree->Node(u"B", id).Check(true, true);
        return tree;
    }
    // siteName of backup B's site id in the file, "(none)" when there is none.
    std::string SiteNameInFile(const std::string& id) {
        auto document = LoadBackupDocument();
        auto* site = FindSubDirElement(*FindMachineElement(MachinesElement(*document), u"B"), Utf8ToUtf16(id));
        return site ? Utf16ToUtf8(site->AttributeByName(u"siteName")) : "(none)";
    }
    std::string Path(const test::TMemoryTree& tree, int index) {
        return Utf16ToUtf8(tree.Node(u"B").Child(index)->Data()->PathText());
    }
};

TEST_F(SiteConflictsTest, RenumbersToSmallestIdentifierFreeInBackupAndDestination) {
    WriteBackupFile(BackupXml(Site("1", "Alpha",
                                   AppRoot("/LM/W3SVC/1/Root") +
                                       "<SubDir path=\"Root\" className=\"IIsWebVirtualDir\">" + AppRoot("/lm/w3svc/1/root/app") +
                                       AppRoot("/LM/W3SVC/12/Root") + "</SubDir>") +
                              Site("3", "Gamma") + Site("5", "Epsilon")));
    auto tree = TreeChoosing({u"1"});
    std::vector<std::u16string> skip;
    ASSERT_TRUE(CheckSites(u"localhost", *tree, skip));
    EXPECT_TRUE(skip.empty());
    EXPECT_EQ(Sink.AllLines(), (Lines{"Found 3 sites in backup package.", "  1=Alpha", "  3=Gamma", "  5=Epsilon",
                                      "Found 2 sites in destination machine.", "  1=Default Web Site", "  2=Intranet",
                                      "Found 1 sites in selected list.", "  1=Alpha", "Check site: 1=Alpha......",
                                      "destPath: 1", "Changed site path from 1 to 4"}));
    EXPECT_EQ(Sink.Lines[1].Colour, clLogGreen);
    EXPECT_EQ(Sink.Lines[0].Colour, clLogBlue);
    EXPECT_EQ(SiteNameInFile("4"), "Alpha");
    EXPECT_EQ(SiteNameInFile("1"), "(none)");
    std::string bytes = FileBytes();
    EXPECT_NE(bytes.find(R"(value="/LM/W3SVC/4/Root")"), std::string::npos);
    EXPECT_NE(bytes.find(R"(value="/LM/W3SVC/4/root/app")"), std::string::npos);
    EXPECT_NE(bytes.find(R"(value="/LM/W3SVC/12/Root")"), std::string::npos);  // another site's root
    EXPECT_EQ(Path(*tree, 0), "4");
    EXPECT_EQ(tree->Node(u"B").Child(0)->Text(), u"Alpha");
    EXPECT_FALSE(BackupErrorFlag());
}

TEST_F(SiteConflictsTest, SecondConflictGetsTheNextFreeIdentifier) {
    WriteBackupFile(BackupXml(Site("1", "Alpha") + Site("2", "Beta") + Site("3", "Gamma")));
    auto tree = TreeChoosing({u"1", u"2"});
    std::vector<std::u16string> skip;
    ASSERT_TRUE(CheckSites(u"localhost", *tree, skip));
    EXPECT_EQ(Path(*tree, 0), "4");
    EXPECT_EQ(Path(*tree, 1), "5");
    EXPECT_EQ(Path(*tree, 2), "3");
    EXPECT_EQ(SiteNameInFile("4"), "Alpha");
    EXPECT_EQ(SiteNameInFile("5"), "Beta");
    EXPECT_TRUE(Logged("Changed site path from 2 to 5"));
}

TEST_F(SiteConflictsTest, SameNameAndIdentifierByMode) {
    struct Row {
        int Mode;
        std::vector<int> Answers;
        std::string NewId;  // "" when the site keeps its identifier
        bool Skipped;
        Lines Notes;        // black lines
        bool NoChoiceLine;
    };
    const Row rows[] = {
        {scmSkip, {}, "", true, {"skip website: Default Web Site"}, false},
        {scmOverwrite, {}, "", false, {"overwrite website: Default Web Site"}, false},
        {scmCreateNew, {}, "3", false, {}, false},
        {scmUnset, {}, "3", false, {}, false},
        {scmAsk, {mrYes}, "", false, {}, false},
        {scmAsk, {mrCancel}, "", true, {}, false},
        {scmAsk, {mrNo}, "3", false, {}, false},
        {scmAsk, {mrNone}, "3", false, {}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Mode);
        Sink.Lines.clear();
        Dialogs.Questions.clear();
        Dialogs.Answers = row.Answers;
        SetSiteConflictMode(row.Mode);
        WriteBackupFile(BackupXml(Site("1", "Default Web Site")));
        std::string before = FileBytes();
        auto tree = TreeChoosing({u"1"});
        std::vector<std::u16string> skip;
        ASSERT_TRUE(CheckSites(u"localhost", *tree, skip));
        EXPECT_TRUE(Logged("same name and pathDefault Web Site=1"));
        EXPECT_EQ(skip, row.Skipped ? std::vector<std::u16string>{u"1"} : std::vector<std::u16string>{});
        EXPECT_EQ(Black(), row.Notes);
        EXPECT_EQ(Logged("you do not make the choice of website conflict!we will choose another identifier for your "
                         "website"),
                  row.NoChoiceLine);
        if (row.NewId.empty()) {
            EXPECT_EQ(FileBytes(), before);
            EXPECT_EQ(Path(*tree, 0), "1");
        } else {
            EXPECT_EQ(SiteNameInFile(row.NewId), "Default Web Site");
            EXPECT_EQ(Path(*tree, 0), row.NewId);
        }
        if (row.Mode == scmAsk) {
            ASSERT_EQ(Dialogs.Questions.size(), 1u);
            EXPECT_EQ(Dialogs.Questions[0], u"?DialogYesNoCancel.websiteexist");
        } else {
            EXPECT_TRUE(Dialogs.Questions.empty());
        }
    }
}

TEST_F(SiteConflictsTest, AskFillsNameAndIdentifierIntoTheQuestion) {
    struct THost : test::TRestoreHost {
        std::u16string DialogText(std::u16string_view type, std::u16string_view id) override {
            return std::u16string(type) + u"/" + std::u16string(id) + u": Web site: %s (identifier = %s) exists!";
        }
    } host;
    TEngineHostScope scope(&Sink, &host);
    SetSiteConflictMode(scmAsk);
    host.Answers = {mrYes};
    WriteBackupFile(BackupXml(Site("2", "Intranet")));
    auto tree = TreeChoosing({u"2"});
    std::vector<std::u16string> skip;
    ASSERT_TRUE(CheckSites(u"localhost", *tree, skip));
    EXPECT_EQ(Path(*tree, 0), "2");
    ASSERT_EQ(host.Questions.size(), 1u);
    EXPECT_EQ(host.Questions[0], u"DialogYesNoCancel/websiteexist: Web site: Intranet (identifier = 2) exists!");
}

TEST_F(SiteConflictsTest, IdentifierHeldByAnotherNameAlwaysRenumbers) {
    for (int mode : {scmSkip, scmOverwrite, scmAsk}) {
        SCOPED_TRACE(mode);
        SetSiteConflictMode(mode);
        Dialogs.Questions.clear();
        WriteBackupFile(BackupXml(Site("2", "Default Web Site")));  // the name is the destination's site 1
        auto tree = TreeChoosing({u"2"});
        std::vector<std::u16string> skip;
        ASSERT_TRUE(CheckSites(u"localhost", *tree, skip));
        EXPECT_TRUE(skip.empty());
        EXPECT_TRUE(Dialogs.Questions.empty());
        EXPECT_EQ(Path(*tree, 0), "3");
    }
}

TEST_F(SiteConflictsTest, FreeIdentifierLeavesFileAlone) {
    WriteBackupFile(BackupXml(Site("7", "Intranet") + Site("1", "Unchosen")));
    std::string before = FileBytes();
    auto tree = TreeChoosing({u"7"});
    std::vector<std::u16string> skip;
    ASSERT_TRUE(CheckSites(u"localhost", *tree, skip));
    EXPECT_EQ(FileBytes(), before);
    EXPECT_EQ(Sink.AllLines().back(), "Check site: 7=Intranet......");
}

TEST_F(SiteConflictsTest, NoCheckedBackupGivesEmptyLists) {
    WriteBackupFile(BackupXml(Site("1", "Alpha")));
    auto tree = TreeOfFile();
    tree->Node(u"B").Check(false, false);
    std::vector<std::u16string> skip;
    EXPECT_TRUE(CheckSites(u"localhost", *tree, skip));
    EXPECT_EQ(Blue(), (Lines{"Found 0 sites in backup package.", "Found 2 sites in destination machine.",
                             "Found 0 sites in selected list."}));
    EXPECT_EQ(FindSelectedMachineNode(*tree), nullptr);
}

TEST_F(SiteConflictsTest, SiteMissingFromFileStopsTheCheck) {
    WriteBackupFile(BackupXml(""));
    auto tree = TreeOfFile();
    tree->Node(u"B").Add(u"ghost", u"1", u"IIsWebServer").Check(true, true);
    tree->Node(u"B").Add(u"ghost2", u"2", u"IIsWebServer").Check(true, true);
    std::string before = FileBytes();
    std::vector<std::u16string> skip;
    EXPECT_FALSE(CheckSites(u"localhost", *tree, skip));
    EXPECT_EQ(Red(), Lines{"Problem in ChangeSitePath: from 1 to 3"});
    EXPECT_FALSE(Logged("Check site: 2=......"));
    EXPECT_EQ(FileBytes(), before);
    EXPECT_TRUE(BackupErrorFlag());
}

TEST_F(SiteConflictsTest, DestinationThatCannotBeListedStopsTheRestore) {
    PlantFaults("localhost", "Enum|W3SVC||0x80070005\n");
    for (int mode : {scmSkip, scmOverwrite, scmAsk, scmCreateNew}) {
        SCOPED_TRACE(mode);
        SetSiteConflictMode(mode);
        InitLog();
        Sink.Lines.clear();
        WriteBackupFile(BackupXml(Site("1", "Default Web Site") + Site("3", "Gamma")));
        std::string before = FileBytes();
        auto tree = TreeOfFile();
        std::vector<std::u16string> skip;
        EXPECT_FALSE(CheckSites(u"localhost", *tree, skip));
        EXPECT_EQ(Red(), Lines{"CheckSites: the web sites of localhost could not all be listed; nothing is restored"});
        EXPECT_FALSE(Logged("Check site: 1=Default Web Site......"));
        EXPECT_TRUE(skip.empty());
        EXPECT_TRUE(Dialogs.Questions.empty());
        EXPECT_EQ(FileBytes(), before);
        EXPECT_TRUE(BackupErrorFlag());
    }
    TSiteList destination{u"stale"};
    EXPECT_FALSE(ListDestinationSites(u"localhost", destination));
    EXPECT_TRUE(destination.empty());
}

TEST_F(SiteConflictsTest, SiteWithUnreadableCommentStillConflicts) {
    PlantFaults("localhost", "Get|W3SVC/1|ServerComment|0x80070005\n");
    WriteBackupFile(BackupXml(Site("1", "Alpha") + Site("2", "Beta")));
    auto tree = TreeOfFile();
    std::vector<std::u16string> skip;
    ASSERT_TRUE(CheckSites(u"localhost", *tree, skip));
    EXPECT_TRUE(Logged("  1="));
    EXPECT_EQ(Path(*tree, 0), "3");
    EXPECT_EQ(Path(*tree, 1), "4");
    EXPECT_EQ(Red(), std::vector<std::string>{"Call Get ServerComment error! Path=w3svc/1; errortext=" +
                                              Utf16ToUtf8(OleErrorMessage(hr::E_ACCESSDENIED))});
}

// Free identifiers are found through one set kept up to date (its speed is measured
// in bench/): each site takes the next one free in both lists.
TEST_F(SiteConflictsTest, ManyConflictingSitesTakeConsecutiveFreeIdentifiers) {
    const int count = 1000;
    CreateMachine(u"localhost", BuildLargeMachineState(ComputerName(), count, 0));
    std::string sites;
    for (int i = 1; i <= count; ++i) sites += Site(std::to_string(i), "New " + std::to_string(i));
    WriteBackupFile(BackupXml(sites));
    auto tree = TreeOfFile();
    std::vector<std::u16string> skip;
    ASSERT_TRUE(CheckSites(u"localhost", *tree, skip));
    TSiteList destination;
    ASSERT_TRUE(ListDestinationSites(u"localhost", destination));
    const int first = static_cast<int>(destination.size()) + 1;  // every backup number is taken there
    EXPECT_EQ(Path(*tree, 0), std::to_string(first));
    EXPECT_EQ(Path(*tree, count - 1), std::to_string(first + count - 1));
}

// Sites that share a path (also ignoring case) are renamed one by one, each
// renaming the first element of that path not renamed yet.
TEST_F(SiteConflictsTest, SitesSharingAPathEachGetTheirOwnIdentifier) {
    MakeMachine(u"localhost", [](TMachineState& state) {
        TMetaObject& shop = state.Metabase->Find(u"W3SVC")->AddChild(u"ab", u"IIsWebServer");
        shop.SetValue(u"ServerComment", std::u16string(u"Shop"));
    });
    const std::pair<std::string, Lines> rows[] = {
        {Site("1", "Alpha") + Site("1", "Beta"), {"3=Alpha", "4=Beta"}},
        {Site("ab", "Alpha") + Site("AB", "Beta") + Site("aB", "Gamma"), {"3=Alpha", "4=Beta", "5=Gamma"}},
    };
    for (const auto& [sites, expected] : rows) {
        SCOPED_TRACE(sites);
        WriteBackupFile(BackupXml(sites));
        auto tree = TreeOfFile();
        std::vector<std::u16string> skip;
        ASSERT_TRUE(CheckSites(u"localhost", *tree, skip));
        auto document = LoadBackupDocument();
        const TWideXmlNode& machine = *FindMachineElement(MachinesElement(*document), u"B");
        Lines inFile;
        for (int i = 0; i < machine.NodeCount(); ++i)
            inFile.push_back(Utf16ToUtf8(machine.Nodes(i)->AttributeByName(u"path") + u"=" +
                                         machine.Nodes(i)->AttributeByName(u"siteName")));
        EXPECT_EQ(inFile, expected);
    }
}

TEST_F(SiteConflictsTest, ChangeSitePathFailuresLeaveFileAsItWas) {
    WriteBackupFile(BackupXml(Site("1", "Alpha")));
    auto tree = TreeOfFile();
    EXPECT_TRUE(ChangeSitePath(u"1", u"1", *tree));  // nothing to do
    EXPECT_FALSE(ChangeSitePath(u"9", u"4", *tree));  // no such site
    WriteBackupFile("<Root><Machines><Machine backupName=\"B\"");
    std::string before = FileBytes();
    EXPECT_FALSE(ChangeSitePath(u"1", u"4", *tree));
    ASSERT_EQ(Red().size(), 1u);
    EXPECT_EQ(Red()[0].rfind("Problem in ChangeSitePath: ", 0), 0u);
    EXPECT_EQ(FileBytes(), before);
    EXPECT_EQ(Path(*tree, 0), "1");
}

TEST_F(SiteConflictsTest, ListsSplitAtTheFirstEquals) {
    WriteBackupFile(BackupXml(Site("1", "a=b") + Site("3", "")));
    auto tree = TreeChoosing({u"3"});
    TSiteList all, selected;
    ListBackupSites(*tree, all, selected);
    EXPECT_EQ(all, (TSiteList{u"1=a=b", u"3="}));
    EXPECT_EQ(selected, TSiteList{u"3="});
    TSiteList destination{u"stale"};
    EXPECT_TRUE(ListDestinationSites(u"localhost", destination));
    EXPECT_EQ(destination, (TSiteList{u"1=Default Web Site", u"2=Intranet"}));
}

// A backup's sites are found by path ignoring case; of two with one path, the first.
TEST_F(SiteConflictsTest, ListsTakeTheFirstSiteOfAPathIgnoringCase) {
    WriteBackupFile(BackupXml(Site("7", "First") + Site("7", "Second") + Site("Ab", "Mixed") + Site("aB", "Other") +
                              Site("\xc3\x89", "Accent") + Site("\xc3\xa9", "Small")));
    auto tree = TreeOfFile();
    TSiteList all, selected;
    ListBackupSites(*tree, all, selected);
    const TSiteList expected{u"7=First", u"7=First", u"Ab=Mixed", u"aB=Mixed", u"\u00c9=Accent", u"\u00e9=Accent"};
    EXPECT_EQ(all, expected);
    EXPECT_EQ(selected, expected);
}

TEST(RewriteAppRootTest, PrefixFollowedBySlashOrEnd) {
    const std::pair<std::u16string, std::u16string> rows[] = {
        {u"/LM/W3SVC/1/Root", u"/LM/W3SVC/7/Root"},   {u"/lm/w3svc/1/root", u"/LM/W3SVC/7/root"},
        {u"/LM/W3SVC/1", u"/LM/W3SVC/7"},             {u"/LM/W3SVC/12/Root", u"/LM/W3SVC/12/Root"},
        {u"/LM/W3SVC/1x", u"/LM/W3SVC/1x"},           {u"/LM/W3SVC/2/Root", u"/LM/W3SVC/2/Root"},
        {u"LM/W3SVC/1/Root", u"LM/W3SVC/1/Root"},     {u"", u""},
    };
    for (const auto& [before, after] : rows) {
        TWideXmlDocument document(u"SubDir");
        TWideXmlNode* inner = document.Root()->NodeNew(u"SubDir");
        TWideXmlNode* property = inner->NodeNew(u"property");
        property->AttributeAdd(u"ID", u"approot");
        property->AttributeAdd(u"value", before);
        TWideXmlNode* other = document.Root()->NodeNew(u"Property");
        other->AttributeAdd(u"id", u"Path");
        other->AttributeAdd(u"value", before);
        RewriteAppRoot(u"1", u"7", *document.Root());
        EXPECT_EQ(property->AttributeByName(u"value"), after) << Utf16ToUtf8(before);
        EXPECT_EQ(other->AttributeByName(u"value"), before);
    }
}

} // namespace
} // namespace orvex
