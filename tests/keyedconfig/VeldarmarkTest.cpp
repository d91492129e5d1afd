#include "keyedconfig/Veldarmark.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <stdexcept>

#include "KeyedTestFiles.h"
#include "RaisedText.h"

namespace orvex {
namespace {
using fake::RaisedText;
using fake::TEnvironmentGuard;
using fake::WriteBytes;

std::string LocalKeybox(const std::string& dataFolder) {
    return "<KXKeybox><Variables begin=\"$(\" end=\")\"><Var name=\"data\" value=\"" + dataFolder +
           "\"/></Variables><KeyGroups><KeyGroup name=\"App\"><Keys>"
           "<Key2File name=\"Doc\" filename=\"$(data)/doc.xml\"/>"
           "<Key2Folder name=\"Empty\" folder=\"\"/>"
           "<Key2Folder name=\"Missing\"/>"
           "<Key2Value name=\"Color\" value=\"blue\"/>"
           "<Key2Value name=\"Color\" value=\"red\" context=\"prod\"/>"
           "<Key2Value name=\"Who\" value=\"bobs\" username=\"bob\"/>"
           "<Key2Value name=\"Who\" value=\"anyone\"/>"
           "<Key2Value name=\"Both\" value=\"local\"/>"
           "</Keys></KeyGroup></KeyGroups></KXKeybox>";
}

constexpr std::string_view kBranchKeybox =
    "<KXKeybox><KeyGroups><KeyGroup name=\"App\"><Keys>"
    "<Key2Value name=\"Both\" value=\"branch\"/>"
    "<Key2Value name=\"OnlyBranch\" value=\"b\"/>"
    "</Keys></KeyGroup></KeyGroups></KXKeybox>";

// A local keybox in <temp>/local/, a branch keybox in <temp>/root/dev/ with
// "Veldarmark" = <temp>/root and the user "bob".
class VeldarmarkTest : public ::testing::Test {
public:
    VeldarmarkTest()
        : root(folder.Path() + "/root"), localFolder(folder.File("local/")),
          veldarmark("Veldarmark", root), userName("USERNAME", "bob") {
        WriteBytes(localFolder + u"KXKeybox.xml", LocalKeybox(folder.Path() + "/data"));
        WriteBytes(localFolder + u"KXContext.xml", "<KXContext><DefaultContext value=\"prod\"/></KXContext>");
        WriteBytes(Utf8ToUtf16(root + "/dev/KXKeybox.xml"), kBranchKeybox);
    }

    std::unique_ptr<TVeldarmark> Map() {
        auto map = TVeldarmark::CreateForBranch(nullptr, u"/dev");
        map->SetLocalKeyboxLocation(klCustom, localFolder);
        return map;
    }

    fake::TTempFolder folder;
    std::string root;
    std::u16string localFolder;
    TEnvironmentGuard veldarmark;
    TEnvironmentGuard userName;
};

TEST_F(VeldarmarkTest, KeyboxesAndContextAreFound) {
    auto map = Map();
    EXPECT_TRUE(map->LocalKeyboxXmlOK()) << Utf16ToUtf8(map->LocalKeyboxWarnings());
    EXPECT_TRUE(map->BranchKeyboxXmlOK()) << Utf16ToUtf8(map->BranchKeyboxWarnings());
    EXPECT_EQ(map->LocalKeybox(), localFolder + u"KXKeybox.xml");
    EXPECT_EQ(map->BranchKeybox(), Utf8ToUtf16(root + "/dev/KXKeybox.xml"));
    EXPECT_EQ(map->VeldarBranch(), u"dev/");
    EXPECT_EQ(map->VeldarmarkRootFolder(), Utf8ToUtf16(root + "/"));
    EXPECT_TRUE(map->VeldarmarkEnvVarExists());
    EXPECT_EQ(map->DefaultMapContext(), u"prod");
    EXPECT_EQ(map->DefaultUserName(), u"bob");
    EXPECT_EQ(map->LocalKeyboxWarnings(), u"");
    EXPECT_EQ(map->ContextWarnings(), u"");
    const auto& properties = map->PropertyList();
    EXPECT_NE(std::find(properties.begin(), properties.end(), u"VeldarBranch=dev/"), properties.end());
    EXPECT_NE(std::find(properties.begin(), properties.end(),
                        u"ErrorDetailAllowed=[edFileNames,edFilePathsAndNames,edComponentNames,edMethodNames]"),
              properties.end());
    EXPECT_NE(std::find(properties.begin(), properties.end(), u"LocalKeyboxLocation=klCustom"), properties.end());
}

TEST_F(VeldarmarkTest, LookupsResolveAndDescribeTheKey) {
    auto map = Map();
    const std::u16string group = u"/KXKeybox/KeyGroups/KeyGroup[@name=\"App\"]/Keys/";
    struct Row {
        std::u16string_view key;
        TContextUsage context;
        TUserNameUsage user;
        std::u16string_view value;
        TKeyboxUsed keybox;
        std::u16string desc;
    };
    const Row rows[] = {
        {u"Both", cxNone, usrNone, u"local", kuLocalKeybox, group + u"Key2Value[@name=\"Both\"] "},
        {u"OnlyBranch", cxNone, usrNone, u"b", kuBranchKeybox, group + u"Key2Value[@name=\"OnlyBranch\"] "},
        {u"Color", cxNone, usrNone, u"blue", kuLocalKeybox, group + u"Key2Value[@name=\"Color\"] "},
        {u"Color", cxOptional, usrNone, u"red", kuLocalKeybox,
         group + u"Key2Value[@name=\"Color\"] [@context=\"prod\"]"},
        {u"Who", cxNone, usrRequired, u"bobs", kuLocalKeybox, group + u"Key2Value[@name=\"Who\"] [@username=bob]"},
        {u"Both", cxOptional, usrOptional, u"local", kuLocalKeybox,
         group + u"Key2Value[@name=\"Both\"]  (context=\"prod\" requested but not used) (username=bob requested "
                 u"but not used)"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(map->KeyedValue(u"App", row.key, row.context, row.user, u""), row.value);
        const TKeyedDetail& detail = map->LastKeyedDetail();
        EXPECT_EQ(detail.KeyBoxUsed, row.keybox);
        EXPECT_EQ(detail.KeyDesc, row.desc);
        EXPECT_EQ(detail.ContextUsed, row.desc.find(u"[@context") != std::u16string::npos);
        EXPECT_EQ(detail.UserNameUsed, row.desc.find(u"[@username") != std::u16string::npos);
    }
    EXPECT_EQ(map->KeyedFileName(u"App", u"Doc", cxNone, usrNone, u""), Utf8ToUtf16(folder.Path() + "/data/doc.xml"));
    // A default answers when no keybox knows the key.
    EXPECT_EQ(map->KeyedValue(u"App", u"Unknown", cxNone, usrNone, u"fallback"), u"fallback");
    EXPECT_EQ(map->LastKeyedDetail().KeyBoxUsed, kuNone);
}

TEST_F(VeldarmarkTest, UserNarrowing) {
    TEnvironmentGuard carol("USERNAME", "carol");
    auto map = Map();
    EXPECT_EQ(map->DefaultUserName(), u"carol");
    // No entry for carol: the first entry of the name answers, whatever its user.
    EXPECT_EQ(map->KeyedValue(u"App", u"Who", cxNone, usrOptional, u""), u"bobs");
    EXPECT_FALSE(map->LastKeyedDetail().UserNameUsed);
    EXPECT_EQ(map->LastKeyedDetail().KeyDesc,
              u"/KXKeybox/KeyGroups/KeyGroup[@name=\"App\"]/Keys/Key2Value[@name=\"Who\"]  (username=carol requested "
              u"but not used)");
    EXPECT_EQ(RaisedText([&] { map->KeyedValue(u"App", u"Who", cxNone, usrRequired, u""); }),
              u"Method \"KeyedValue\" reports: Node '(KeyGroupName=\"App\", KeyName=\"Who\"(Context=\"prod\" Context "
              u"Usage=\"None\")(UserName=\"carol\" UserName Usage=\"Required\"))' not found; searched LocalKeybox and "
              u"BranchKeybox (and DefaultKeyedFileName=\"\"");
}

TEST_F(VeldarmarkTest, LookupErrors) {
    auto map = Map();
    EXPECT_EQ(RaisedText([&] { map->KeyedFolder(u"App", u"Empty", cxNone, usrNone, u""); }),
              u"Method \"KeyedFolder\" reports: Attribute \"filename\" is empty");
    EXPECT_EQ(RaisedText([&] { map->KeyedFolder(u"App", u"Missing", cxNone, usrNone, u""); }),
              u"Method \"KeyedFolder\" reports: Attribute \"filename\" is missing");
    EXPECT_EQ(RaisedText([&] { map->KeyedValue(u"", u"Who", cxNone, usrNone, u""); }),
              u"Method \"GetKeyedAttribute\" reports: KeyGroup and KeyName are required for method \"KeyedValue\"");
    EXPECT_EQ(RaisedText([&] { map->KeyedValue(u"App", u"Both", cxRequired, usrNone, u""); }),
              u"Method \"KeyedValue\" reports: Node '(KeyGroupName=\"App\", KeyName=\"Both\"(Context=\"prod\" Context "
              u"Usage=\"Required\")(UserName=\"bob\" UserName Usage=\"None\"))' not found; searched LocalKeybox and "
              u"BranchKeybox (and DefaultKeyedFileName=\"\"");
    map->SetName(u"Map");
    map->SetErrorDetailAllowed(MakeDetailSet({edComponentNames, edMethodNames}));
    EXPECT_EQ(RaisedText([&] { map->KeyedFolder(u"App", u"Empty", cxNone, usrNone, u""); }),
              u"Map.KeyedFolder: Attribute \"filename\" is empty");
    map->SetErrorDetailAllowed({});
    EXPECT_EQ(RaisedText([&] { map->KeyedFolder(u"App", u"Empty", cxNone, usrNone, u""); }),
              u"KX Error: Attribute \"filename\" is empty");
}

TEST_F(VeldarmarkTest, WithoutKeyboxes) {
    TEnvironmentGuard noRoot("Veldarmark", std::nullopt);
    auto map = std::make_unique<TVeldarmark>();
    map->SetLocalKeyboxLocation(klCustom, folder.File("nothing/"));
    EXPECT_FALSE(map->VeldarmarkEnvVarExists());
    EXPECT_EQ(map->BranchKeyboxWarnings(), u"Error loading Veldar Branch Keybox: Reason: VeldarBranch was not specified");
    map->SetVeldarBranch(u"dev");
    EXPECT_EQ(map->BranchKeyboxWarnings(),
              u"Error loading Veldar Branch Keybox: Reason: Veldarmark environment variable not found");
    const std::u16string local = std::u16string(u"\"").append(folder.File("nothing/KXKeybox.xml")).append(u"\" ");
    EXPECT_EQ(map->LocalKeyboxWarnings(), local + u"Error loading Veldar Local Keybox: Reason: File not found");
    EXPECT_EQ(map->DefaultMapContext(), u"");
    EXPECT_EQ(RaisedText([&] { map->KeyedValue(u"App", u"Who", cxNone, usrNone, u""); }),
              u"Method \"KeyedValue\" reports: Neither a Branch nor a Local Veldar Keybox file exists. \r\nDetails: "
              u"\r\nError loading Veldar Branch Keybox: Reason: Veldarmark environment variable not found \r\n" +
                  local + u"Error loading Veldar Local Keybox: Reason: File not found");
    EXPECT_EQ(map->KeyedValue(u"App", u"Who", cxNone, usrNone, u"dflt"), u"dflt");
    map->SetErrorDetailAllowed(MakeDetailSet({edFileNames}));
    EXPECT_EQ(map->LocalKeyboxWarnings(), u"\"KXKeybox.xml\" Error loading Veldar Local Keybox: Reason: File not found");
}

TEST_F(VeldarmarkTest, CorruptFilesBecomeWarnings) {
    WriteBytes(Utf8ToUtf16(root + "/dev/KXKeybox.xml"), "<KXKeybox><KeyGroups></KXKeybox>");
    WriteBytes(localFolder + u"KXContext.xml", "<KXContext><DefaultContext value=\"x\"></KXContext>");
    WriteBytes(Utf8ToUtf16(root + "/KXGlobal.xml"),
               "<KXGlobalSettings><DefaultContext value=\"glob\"/></KXGlobalSettings>");
    std::unique_ptr<TVeldarmark> map;
    ASSERT_NO_THROW(map = Map());
    EXPECT_TRUE(map->LocalKeyboxXmlOK());
    EXPECT_FALSE(map->BranchKeyboxXmlOK());
    EXPECT_TRUE(map->BranchKeyboxExists());
    const std::u16string branchWarning = map->BranchKeyboxWarnings();
    const std::u16string start = std::u16string(u"\"").append(Utf8ToUtf16(root + "/dev/KXKeybox.xml")) +
                                 u"\" Error loading Veldar Branch Keybox: Reason: Unable to load file: \r\nReason: ";
    EXPECT_EQ(branchWarning.rfind(start, 0), 0u) << Utf16ToUtf8(branchWarning);
    EXPECT_EQ(map->ContextWarnings().rfind(u"Unable to load file: \r\nReason: ", 0), 0u);
    EXPECT_NE(map->ContextWarnings().find(u"\r\nFilename: \"" + localFolder + u"KXContext.xml\""), std::u16string::npos);
    EXPECT_EQ(map->DefaultMapContext(), u"glob"); // the global settings take over

    WriteBytes(localFolder + u"KXKeybox.xml", "<Other/>");
    map->Reset();
    EXPECT_FALSE(map->LocalKeyboxXmlOK());
    EXPECT_NE(map->LocalKeyboxWarnings().find(u"Invalid root node found. Root node name is \"Other\" but should be "
                                              u"\"KXKeybox\"."),
              std::u16string::npos);
}

TEST_F(VeldarmarkTest, ContextFromTheBranchFolder) {
    std::filesystem::remove(Utf16ToUtf8(localFolder + u"KXContext.xml"));
    WriteBytes(Utf8ToUtf16(root + "/dev/KXContext.xml"), "<kxcontext><DefaultContext value=\"branch\"/></kxcontext>");
    WriteBytes(Utf8ToUtf16(root + "/KXGlobal.xml"), "<KXGlobalSettings><DefaultContext value=\"glob\"/></KXGlobalSettings>");
    EXPECT_EQ(Map()->DefaultMapContext(), u"branch");
}

TEST_F(VeldarmarkTest, DefaultUserNameIsTheValue) {
    TEnvironmentGuard noUserName("USERNAME", std::nullopt);
    TEnvironmentGuard user("USER", "alice");
    EXPECT_EQ(TVeldarmark().DefaultUserName(), u"alice");
    TEnvironmentGuard named("USERNAME", "dora");
    EXPECT_EQ(TVeldarmark().DefaultUserName(), u"dora");
}

TEST_F(VeldarmarkTest, KeysOwnTheirDocuments) {
    auto map = Map();
    TVeldarKey* key = map->ActivateKey(u"App", u"Doc", cxNone, usrNone, u"Cfg", u"");
    ASSERT_NE(key, nullptr) << Utf16ToUtf8(map->KeyLastError());
    const std::u16string file = Utf8ToUtf16(folder.Path() + "/data/doc.xml");
    EXPECT_EQ(key->KeyedFileName(), file);
    EXPECT_EQ(key->KeyedFilePath(), Utf8ToUtf16(folder.Path() + "/data/"));
    EXPECT_EQ(key->KeyedFilePathParentDir(), Utf8ToUtf16(folder.Path() + "/"));
    EXPECT_EQ(key->KeyIndex(), 0);
    EXPECT_FALSE(key->KeyedFileExists());
    const std::u16string desc = u"/KXKeybox/KeyGroups/KeyGroup[@name=\"App\"]/Keys/Key2File[@name=\"Doc\"] ";
    EXPECT_EQ(key->KeyedFileLastError(),
              u"Unable to locate keyed file for key " + desc + u" \r\nReason: File not found\r\nFilename: \"" + file + u"\"");
    EXPECT_EQ(key->KeyedFile()->KeyIndex(), 0);

    EXPECT_EQ(map->ActivateKey(u"App", u"Doc", cxNone, usrNone, u"Cfg", u""), nullptr);
    EXPECT_EQ(map->KeyLastError(), u"Error adding key: \r\nMethod \"ActivateKey\" reports: Key already exists");
    EXPECT_EQ(RaisedText([&] { map->SetVeldarBranch(u"other"); }),
              u"Method \"SetVeldarBranch\" reports: Property \"VeldarBranch\" cannot be changed as Veldar Keys have "
              u"already been added");
    EXPECT_EQ(map->VeldarBranch(), u"dev/");
    EXPECT_EQ(RaisedText([&] { map->SetLocalKeyboxPrefixEnabled(true); }),
              u"Method \"SetLocalKeyboxPrefixEnabled\" reports: Property \"LocalKeyboxPrefixEnabled\" cannot be "
              u"changed as Veldar Keys have already been added");

    std::u16string error;
    ASSERT_TRUE(key->CreateKeyedFileFromString(u"<Cfg><Item v=\"1\"/></Cfg>", error)) << Utf16ToUtf8(error);
    EXPECT_TRUE(key->KeyedFileExists());
    EXPECT_FALSE(key->CreateKeyedFileFromString(u"<Cfg><Item></Cfg>", error));
    EXPECT_EQ(error.rfind(u"Unable to create keyed file for key " + desc + u" \r\nReason: \"" + file + u"\": ", 0), 0u)
        << Utf16ToUtf8(error);

    TVeldarXmlDoc* doc = key->KeyedFile();
    ASSERT_TRUE(doc->LoadFile()) << Utf16ToUtf8(doc->LastError());
    EXPECT_EQ(doc->LastError(), u"");
    EXPECT_EQ(doc->ZNodeAttr(nullptr, {u"Item"}, cxNone, int32_t{0}, u"v"), TVeldarVariant(int32_t{1}));
    bool reloaded = false;
    ASSERT_TRUE(doc->BeginUpdate(reloaded));
    EXPECT_EQ(RaisedText([&] { key->CreateKeyedFileFromString(u"<Cfg/>", error); }),
              u"Method \"CreateKeyedFileFromString\" reports: Invalid use of CreateKeyedFileFromString - because "
              u"BeginUpdate has been called and EndUpdate or CancelUpdate has not.");
    doc->CancelUpdate();

    map->DeactivateAllKeys();
    EXPECT_EQ(map->VeldarKeyCount(), 0);
    map->SetVeldarBranch(u"other"); // allowed again
    EXPECT_EQ(map->VeldarBranch(), u"other/");
}

TEST_F(VeldarmarkTest, TemporaryKeysAndSlots) {
    auto map = Map();
    WriteBytes(localFolder + u"one.xml", "<Cfg/>");
    TVeldarKey* one = map->ActivateTempKey(u"one.xml", u"Cfg"); // taken in the local keybox's folder
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->KeyedFileName(), localFolder + u"one.xml");
    EXPECT_EQ(one->KeyedDetail().KeyDesc, u"TempKey[0]");
    EXPECT_EQ(one->KeyedDetail().KeyBoxUsed, kuTemp);
    ASSERT_NE(map->ActivateTempKey(folder.File("two.xml"), u"Cfg"), nullptr);
    EXPECT_EQ(map->ActivateTempKey(localFolder + u"one.xml", u"Cfg"), nullptr);
    EXPECT_EQ(map->KeyLastError(), u"Error adding key: \r\nMethod \"ActivateTempKey\" reports: Key already exists");
    EXPECT_EQ(map->ActivateTempKey(u"", u"Cfg"), nullptr);
    EXPECT_EQ(map->KeyLastError(), u"Error adding key: \r\nMethod \"AddKeyInternal\" reports: KeyedFileName is "
                                   u"required for method \"ActivateTempKey\"");

    map->DeactivateKey(0);
    map->DeactivateKey(0); // an empty slot is fine
    EXPECT_EQ(map->VeldarKeyCount(), 1);
    TVeldarKey* three = map->ActivateTempKey(folder.File("three.xml"), u"Cfg");
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(three->KeyIndex(), 0);
    EXPECT_EQ(map->VeldarKeyCount(), 2);
    EXPECT_EQ(RaisedText([&] { map->DeactivateKey(2); }),
              u"Method \"DeactivateKey\" reports: Index value '2' for VeldarKeys[I] is out of range");
    EXPECT_EQ(RaisedText([&] { map->DeactivateKey(-1); }),
              u"Method \"DeactivateKey\" reports: Index value '-1' for VeldarKeys[I] is out of range");

    map->DeactivateAllKeys();
    EXPECT_EQ(map->ActivateTempKeyDoc(folder.File("none.xml"), u"Cfg"), nullptr);
    EXPECT_EQ(map->KeyLastError(), u"Unable to load keyed file for key TempKey[0] \r\nReason: File not found\r\n"
                                   u"Filename: \"" + folder.File("none.xml") + u"\"");
    EXPECT_EQ(map->VeldarKeyCount(), 0);
    TVeldarXmlDoc* doc = map->ActivateTempKeyDoc(localFolder + u"one.xml", u"Cfg");
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(doc->FileLoaded());
    EXPECT_EQ(doc->Veldarmark(), map.get());
}

TEST_F(VeldarmarkTest, ReloadEventDuringBeginUpdate) {
    auto map = Map();
    WriteBytes(localFolder + u"one.xml", "<Cfg/>");
    TVeldarXmlDoc* doc = map->ActivateTempKeyDoc(localFolder + u"one.xml", u"Cfg");
    ASSERT_NE(doc, nullptr);
    std::vector<TVeldarKey*> calls;
    map->OnKeyedFileReloaded = [&](TVeldarKey* key) { calls.push_back(key); };
    bool reloaded = false;
    ASSERT_TRUE(doc->BeginUpdate(reloaded));
    EXPECT_FALSE(reloaded);
    doc->CancelUpdate();
    EXPECT_TRUE(calls.empty());

    WriteBytes(localFolder + u"one.xml", "<Cfg><Changed/></Cfg>");
    ASSERT_TRUE(doc->BeginUpdate(reloaded));
    EXPECT_TRUE(reloaded);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], map->VeldarKeys(0));
    doc->CancelUpdate();
    EXPECT_EQ(doc->Root()->WriteToString(), u"<Cfg><Changed/></Cfg>");

    map->OnKeyedFileReloaded = [](TVeldarKey*) { throw std::runtime_error("boom"); };
    WriteBytes(localFolder + u"one.xml", "<Cfg><Again/></Cfg>");
    EXPECT_FALSE(doc->BeginUpdate(reloaded));
    EXPECT_FALSE(doc->UpdateInProgress());
    EXPECT_EQ(doc->LastError(), u"Unable to BeginUpdate (error in OnKeyedFileReloaded) keyed file for key TempKey[0] "
                                u"\r\nReason: boom\r\nFilename: \"" + localFolder + u"one.xml\"");
}

TEST_F(VeldarmarkTest, LocationAndPrefix) {
    auto map = Map();
    EXPECT_EQ(RaisedText([&] { map->SetLocalKeyboxLocation(klLibraryPath); }),
              u"Method \"SetLocalKeyboxLocation\" reports: Invalid LocalKeyboxLocation - Setting to \"klLibraryPath\" "
              u"is only valid inside a DLL or SO");
    EXPECT_EQ(RaisedText([&] { map->SetLocalKeyboxLocation(klCustom, u""); }),
              u"Method \"SetLocalKeyboxLocation\" reports: A CustomPath must be specified when setting "
              u"LocalKeyboxLocation to \"klCustom\"");
    EXPECT_EQ(map->LocalKeyboxLocation(), klCustom);
    map->SetLocalKeyboxPrefix(u"app");
    map->SetLocalKeyboxPrefixEnabled(true);
    EXPECT_EQ(map->LocalKeybox(), localFolder + u"appKXKeybox.xml");
    EXPECT_FALSE(map->LocalKeyboxExists());
    map->SetLocalKeyboxPrefixEnabled(false);
    EXPECT_TRUE(map->LocalKeyboxXmlOK());
    map->SetLocalKeyboxLocation(klExecutablePath);
    EXPECT_EQ(map->LocalKeyboxPath(), map->ExecutablePath());
    EXPECT_EQ(map->ExecutableNameNoExt(), u"orvex_keyedconfig_tests");

    auto service = TVeldarmark::CreateForService(nullptr, u"dev", u"svc");
    EXPECT_EQ(service->LocalKeyboxPrefix(), u"svc");
    EXPECT_FALSE(service->LocalKeyboxPrefixEnabled());
}

TEST_F(VeldarmarkTest, KeyDocumentsLoadBeforeTheirFirstUpdate) {
    const std::u16string file = Utf8ToUtf16(folder.Path() + "/data/doc.xml");
    WriteBytes(file, "<Cfg><Kept/></Cfg>");
    auto map = Map();
    TVeldarKey* key = map->ActivateKey(u"App", u"Doc", cxNone, usrNone, u"Cfg", u"");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->KeyedFileLastError(), u"");
    // Never loaded: the update reads the file first instead of writing the empty document over it.
    TVeldarXmlDoc* doc = key->KeyedFile();
    bool reloaded = false;
    ASSERT_TRUE(doc->BeginUpdate(reloaded)) << Utf16ToUtf8(doc->LastError());
    EXPECT_TRUE(reloaded);
    ASSERT_TRUE(doc->ZNodeAttrSave(nullptr, {u"Added"}, cxNone, int32_t{1}, u"n", true));
    ASSERT_TRUE(doc->EndUpdate());
    EXPECT_EQ(fake::ReadBytes(file), "<Cfg><Kept/><Added n=\"1\"/></Cfg>\n");

    // Another update holds the file: the key does not write over it.
    TVeldarXmlDoc holder(file, u"Cfg", u"", u"context");
    ASSERT_TRUE(holder.LoadFile());
    ASSERT_TRUE(holder.BeginUpdate(reloaded));
    std::u16string error;
    EXPECT_FALSE(key->CreateKeyedFileFromString(u"<Cfg/>", error));
    EXPECT_EQ(error.rfind(u"Unable to create keyed file for key /KXKeybox/KeyGroups/KeyGroup[@name=\"App\"]/Keys/"
                          u"Key2File[@name=\"Doc\"]  \r\nReason: \"" + file + u"\": ", 0),
              0u)
        << Utf16ToUtf8(error);
    holder.CancelUpdate();
    EXPECT_EQ(fake::ReadBytes(file), "<Cfg><Kept/><Added n=\"1\"/></Cfg>\n");

    map->DeactivateAllKeys();
    TVeldarXmlDoc* loaded = map->ActivateKeyDoc(u"App", u"Doc", cxNone, usrNone, u"Cfg", u"");
    ASSERT_NE(loaded, nullptr) << Utf16ToUtf8(map->KeyLastError());
    EXPECT_EQ(loaded->ZNodeAttr(nullptr, {u"Added"}, cxNone, int32_t{0}, u"n"), TVeldarVariant(int32_t{1}));
    EXPECT_EQ(map->ActivateKeyDoc(u"App", u"Doc", cxNone, usrNone, u"Cfg", u""), nullptr);
    EXPECT_EQ(map->VeldarKeyCount(), 1);
    // A wrong root: the key goes again and the reason stays.
    map->DeactivateAllKeys();
    EXPECT_EQ(map->ActivateKeyDoc(u"App", u"Doc", cxNone, usrNone, u"Other", u""), nullptr);
    EXPECT_EQ(map->KeyLastError(),
              u"Unable to load keyed file for key /KXKeybox/KeyGroups/KeyGroup[@name=\"App\"]/Keys/Key2File[@name=\"Doc\"]  "
              u"\r\nReason: Validation failed\r\nInvalid root node found. Root node name is \"Cfg\" but should be "
              u"\"Other\".\r\nFilename: \"" + file + u"\"");
    EXPECT_EQ(map->VeldarKeyCount(), 0);
}

TEST_F(VeldarmarkTest, DestroyCallsItsEvent) {
    int called = 0;
    {
        auto map = Map();
        map->OnDestroy = [&](TVeldarmark&) { ++called; };
    }
    EXPECT_EQ(called, 1);
}

} // namespace
} // namespace orvex
