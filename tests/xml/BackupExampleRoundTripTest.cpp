// The backup file is the program's main product: the UTF-16 face must load and
// save it without changing a byte, and find its parts the way readers look them up.

#include "xml/WideXmlDocument.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace orvex;

namespace {

const std::filesystem::path kExample = std::filesystem::path(ORVEX_TEST_DATA) / "xml" / "BackupExample.xml";

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class BackupExample : public ::testing::Test {
protected:
    void SetUp() override {
        Doc.LoadFromFile(kExample.u16string());
        Doc.SetXmlFormat(xfReadable);
    }
    TWideXmlDocument Doc;
};

} // namespace

TEST_F(BackupExample, SavesBackByteForByte) {
    EXPECT_EQ(Doc.WriteToString(), ReadBytes(kExample));

    const auto copy = std::filesystem::temp_directory_path() / "orvex-backup-example.xml";
    Doc.SaveToFile(copy.u16string());
    EXPECT_EQ(ReadBytes(copy), ReadBytes(kExample));
    std::filesystem::remove(copy);
}

TEST_F(BackupExample, FindsElementsAndKeysIgnoringCase) {
    TWideXmlNode* machines = Doc.Root()->NodeByName(u"MACHINES");
    ASSERT_NE(machines, nullptr);
    TWideXmlNode* machine = machines->NodeByAttributeValue(u"machine", u"backupName", u"websrv1sites");
    ASSERT_NE(machine, nullptr);
    EXPECT_EQ(machine->AttributeByName(u"machineName"), u"localhost");

    TWideXmlNode* site = machine->NodeByAttributeValue(u"subdir", u"path", u"1");
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(site->AttributeByName(u"siteName"), u"Default Web Site");
    TWideXmlNode* bindings = site->NodeByAttributeValue(u"Property", u"id", u"serverbindings");
    ASSERT_NE(bindings, nullptr);
    EXPECT_EQ(bindings->Nodes(0)->AttributeByName(u"value"), u":80:");

    TWideXmlNode* extension = machine->NodeByAttributeValue(u"SubDir", u"path", u"service extensions");
    ASSERT_NE(extension, nullptr);
    EXPECT_EQ(extension->Nodes(0)->Nodes(1)->AttributeByName(u"path"), u"C:\\ext\\sample.dll");
}

TEST_F(BackupExample, EditedValuesWithMarkupAndAstralCharactersRoundTrip) {
    TWideXmlNode* site = Doc.Root()->NodeByName(u"Machines")->Nodes(0)->NodeByAttributeValue(
        u"SubDir", u"path", u"1");
    ASSERT_NE(site, nullptr);
    const std::u16string name = u"Caf\u00E9 \"<&>' \U0001F600";
    site->SetAttributeByName(u"siteName", name);

    TWideXmlDocument again;
    again.ReadFromUTF8String(Doc.WriteToString());
    TWideXmlNode* reread = again.Root()->NodeByName(u"Machines")->Nodes(0)->NodeByAttributeValue(
        u"SubDir", u"path", u"1");
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(reread->AttributeByName(u"siteName"), name);
}
