#include "engine/PropertyElement.h"

#include "TempFolder.h"
#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

using test::CrLfLines;

TPropertyText Text(std::u16string type, std::u16string value, std::vector<std::u16string> items = {}) {
    return {std::move(type), std::move(value), std::move(items)};
}

// The worked example of the backup file, built the way the backup builds it.
TEST(BackupGrammarTest, WorkedExampleByteForByte) {
    auto document = NewBackupDocument();
    TWideXmlNode* root = document->Root();
    root->SetName(backupxml::ElemRoot);
    TWideXmlNode* machines = root->NodeNew(backupxml::ElemMachines);
    TWideXmlNode* machine = machines->NodeNew(backupxml::ElemMachine);
    machine->AttributeAdd(backupxml::AttrBackupName, u"WEBSRV1Sites");
    machine->AttributeAdd(backupxml::AttrMachineName, u"localhost");
    machine->AttributeAdd(backupxml::AttrPath, backupxml::PathWebService);
    machine->AttributeAdd(backupxml::AttrClassName, backupxml::ClassWebService);
    TPropertyIndex index(*machine);
    WritePropertyElement(index, u"MaxConnections", Text(u"INTEGER", u"1000"), false);
    WritePropertyElement(index, u"AnonymousUserPass", Text(u"STRING", u""), false);
    WritePropertyElement(index, u"IPSecurity", Text(u"IPSEC", u"GrantByDefault=True;10.0.0.1, 255.255.255.255;"), false);
    TWideXmlNode& site = AppendSubDirElement(*machine, u"1", u"IIsWebServer");
    site.AttributeAdd(backupxml::AttrSiteName, u"Default Web Site");
    WritePropertyElement(site, u"ServerComment", Text(u"STRING", u"Default Web Site"), false);
    WritePropertyElement(site, u"ServerBindings", Text(u"LIST", u"", {u":80:"}), false);
    WritePropertyElement(site, u"DefaultDoc", Text(u"UNSUPPORTED", u""), true);
    TWideXmlNode& rootDir = AppendSubDirElement(site, u"ROOT", u"IIsWebVirtualDir");
    WritePropertyElement(rootDir, u"Path", Text(u"STRING", u"c:\\inetpub\\wwwroot"), false);
    TWideXmlNode& pop3 = AppendSubDirElement(*machine, u"Pop3 Service", u"Pop3Svc");
    WritePropertyElement(pop3, u"LoggingLevel", Text(u"INTEGER", u"3"), false);
    WritePropertyElement(AppendSubDirElement(pop3, u"Service", u"Pop3Svc"), u"Port", Text(u"INTEGER", u"110"), false);
    TWideXmlNode& ext = AppendSubDirElement(*machine, u"Service Extensions", u"ServiceExtensions");
    TWideXmlNode& desc = AppendSubDirElement(ext, u"Sample Extension", u"ServiceExtensions");
    WritePropertyElement(desc, u"GroupID", Text(u"STRING", u"SAMPLE"), false);
    TWideXmlNode& file = AppendSubDirElement(desc, u"C:\\ext\\sample.dll", u"ServiceExtensions");
    WritePropertyElement(file, u"AllowDenyFlag", Text(u"BOOLEAN", u"True"), false);
    WritePropertyElement(file, u"DeletableFlag", Text(u"BOOLEAN", u"False"), false);

    test::TTempFolder folder;
    document->SaveToFile(folder.File16("Metabase.xml"));
    EXPECT_EQ(test::ReadBytes(folder.File("Metabase.xml")),
              CrLfLines({
                  R"(<?xml version="1.0" encoding="UTF-8"?>)",
                  R"(<Root>)",
                  R"(  <Machines>)",
                  R"(    <Machine backupName="WEBSRV1Sites" machineName="localhost" path="w3svc" className="IIsWebService">)",
                  R"(      <Property id="MaxConnections" type="INTEGER" value="1000" Inherit="False"/>)",
                  R"(      <Property id="AnonymousUserPass" type="STRING" value="" Inherit="False"/>)",
                  R"(      <Property id="IPSecurity" type="IPSEC" value="GrantByDefault=True;10.0.0.1, 255.255.255.255;" Inherit="False"/>)",
                  R"(      <SubDir path="1" className="IIsWebServer" siteName="Default Web Site">)",
                  R"(        <Property id="ServerComment" type="STRING" value="Default Web Site" Inherit="False"/>)",
                  R"(        <Property id="ServerBindings" type="LIST" value="" Inherit="False">)",
                  R"(          <Item value=":80:"/>)",
                  R"(        </Property>)",
                  R"(        <Property id="DefaultDoc" type="UNSUPPORTED" value="" Inherit="True"/>)",
                  R"(        <SubDir path="ROOT" className="IIsWebVirtualDir">)",
                  R"(          <Property id="Path" type="STRING" value="c:\inetpub\wwwroot" Inherit="False"/>)",
                  R"(        </SubDir>)",
                  R"(      </SubDir>)",
                  R"(      <SubDir path="Pop3 Service" className="Pop3Svc">)",
                  R"(        <Property id="LoggingLevel" type="INTEGER" value="3" Inherit="False"/>)",
                  R"(        <SubDir path="Service" className="Pop3Svc">)",
                  R"(          <Property id="Port" type="INTEGER" value="110" Inherit="False"/>)",
                  R"(        </SubDir>)",
                  R"(      </SubDir>)",
                  R"(      <SubDir path="Service Extensions" className="ServiceExtensions">)",
                  R"(        <SubDir path="Sample Extension" className="ServiceExtensions">)",
                  R"(          <Property id="GroupID" type="STRING" value="SAMPLE" Inherit="False"/>)",
                  R"(          <SubDir path="C:\ext\sample.dll" className="ServiceExtensions">)",
                  R"(            <Property id="AllowDenyFlag" type="BOOLEAN" value="True" Inherit="False"/>)",
                  R"(            <Property id="DeletableFlag" type="BOOLEAN" value="False" Inherit="False"/>)",
                  R"(          </SubDir>)",
                  R"(        </SubDir>)",
                  R"(      </SubDir>)",
                  R"(    </Machine>)",
                  R"(  </Machines>)",
                  R"(</Root>)",
              }));
}

class PropertyElementTest : public ::testing::Test {
protected:
    std::unique_ptr<TWideXmlDocument> Document = NewBackupDocument();
    TWideXmlNode& Parent = *Document->Root();

    void SetUp() override { Parent.SetName(u"SubDir"); }
    // The element's own XML text, without the indentation of its level.
    std::u16string Xml(TWideXmlNode& node) {
        std::u16string text = node.WriteToString();
        return text.substr(text.find_first_not_of(u' '));
    }
};

TEST_F(PropertyElementTest, ReusedElementKeepsAttributeOrderAndReplacesItems) {
    WritePropertyElement(Parent, u"ServerBindings", Text(u"LIST", u"", {u":80:", u":81:"}), false);
    TWideXmlNode& again = WritePropertyElement(Parent, u"SERVERBINDINGS", Text(u"LIST", u"", {u":82:"}), true);
    ASSERT_EQ(Parent.NodeCount(), 1);
    EXPECT_EQ(&again, Parent.Nodes(0));
    EXPECT_EQ(again.AttributeName(0), u"id");
    EXPECT_EQ(again.AttributeByName(u"id"), u"ServerBindings");
    EXPECT_EQ(again.AttributeByName(u"Inherit"), u"True");
    ASSERT_EQ(again.NodeCount(), 1);
    EXPECT_EQ(again.Nodes(0)->AttributeByName(u"value"), u":82:");

    WritePropertyElement(Parent, u"serverbindings", Text(u"UNSUPPORTED", u""), false);
    EXPECT_EQ(Parent.Nodes(0)->NodeCount(), 0);
}

TEST_F(PropertyElementTest, HandWrittenAttributeOrderIsKept) {
    TWideXmlNode* hand = Parent.NodeNew(u"Property");
    hand->AttributeAdd(u"Inherit", u"True");
    hand->AttributeAdd(u"value", u"old");
    hand->AttributeAdd(u"id", u"Path");
    WritePropertyElement(Parent, u"path", Text(u"STRING", u"c:\\new"), false);
    EXPECT_EQ(hand->AttributeName(0), u"Inherit");
    EXPECT_EQ(hand->AttributeName(1), u"value");
    EXPECT_EQ(hand->AttributeName(2), u"id");
    EXPECT_EQ(hand->AttributeName(3), u"type");
    EXPECT_EQ(hand->AttributeByName(u"value"), u"c:\\new");
    EXPECT_EQ(hand->AttributeByName(u"Inherit"), u"False");
}

TEST_F(PropertyElementTest, IndexFindsExistingAndNewElements) {
    WritePropertyElement(Parent, u"KeyType", Text(u"STRING", u"IIsWebServer"), false);
    AppendSubDirElement(Parent, u"ROOT", u"IIsWebVirtualDir");
    TPropertyIndex index(Parent);
    EXPECT_EQ(index.Find(u"keytype"), Parent.Nodes(0));
    EXPECT_EQ(index.Find(u"ROOT"), nullptr);  // a SubDir is no property
    TWideXmlNode& added = WritePropertyElement(index, u"\u00c9tat", Text(u"STRING", u"a"), false);
    EXPECT_EQ(&WritePropertyElement(index, u"\u00e9TAT", Text(u"STRING", u"b"), false), &added);
    EXPECT_EQ(Parent.NodeCount(), 3);
    EXPECT_EQ(added.AttributeByName(u"value"), u"b");
}

// A new element written through the index is the same, byte for byte, as one
// written on its parent directly.
TEST_F(PropertyElementTest, NewElementsThroughTheIndexMatchTheDirectOnes) {
    struct TRow {
        std::u16string Id;
        TPropertyText Text;
        bool Inherit;
    };
    const TRow rows[] = {
        {u"ServerComment", Text(u"STRING", u"Default Web Site"), false},
        {u"ServerBindings", Text(u"LIST", u"", {u":80:", u"10.0.0.1:443:a&b"}), false},
        {u"HttpErrors", Text(u"LIST", u"", {}), true},
        {u"Path", Text(u"EXPANDSZ", u"say \"<&>\" caf\u00e9 \U0001F600\t"), false},
        {u"\u00c9tat", Text(u"UNSUPPORTED", u""), true},
        {u"AccessFlags", Text(u"INTEGER", u"-1"), false},
        {u"Id", Text(u"LIST", u"", {u"caf\u00e9 \U0001F600 long item", u"a"}), false},
        {u"X", Text(u"STRING", u"y"), false},  // shorter than every text before it
    };
    auto document = NewBackupDocument();
    TWideXmlNode& other = *document->Root();
    other.SetName(u"SubDir");
    auto appendedDocument = NewBackupDocument();
    TWideXmlNode& appended = *appendedDocument->Root();
    appended.SetName(u"SubDir");
    TPropertyIndex index(Parent);
    TPropertyIndex appendIndex(appended);
    for (const TRow& row : rows) {
        TWideXmlNode& indexed = WritePropertyElement(index, row.Id, row.Text, row.Inherit);
        TWideXmlNode& direct = WritePropertyElement(other, row.Id, row.Text, row.Inherit);
        EXPECT_EQ(Xml(indexed), Xml(direct));
        EXPECT_EQ(Xml(AppendPropertyElement(appendIndex, row.Id, row.Text, row.Inherit)), Xml(direct));
    }
    EXPECT_THROW(AppendPropertyElement(appendIndex, u"Bad", Text(u"LIST", u"", {u"ok", u"a\u0001"}), false),
                 EPropertyValueError);
    EXPECT_EQ(Parent.WriteToString(), other.WriteToString());
    EXPECT_EQ(appended.WriteToString(), other.WriteToString());
}

// The index writes what a scan of the children writes: the first element of an id
// ignoring case (Unicode folding, letters beyond U+FFFF too) is the one reused, a
// SubDir never is, and a new element is found again in any case.
TEST_F(PropertyElementTest, IndexWritesWhatAScanWrites) {
    auto fill = [](TWideXmlNode& parent) {
        parent.NodeNew(u"SubDir")->AttributeAdd(u"id", u"Key");
        for (std::u16string id : {u"Path", u"PATH", u"\u212Aey", u"caf\u00c9", u"\U00010400x"}) {
            TWideXmlNode* element = parent.NodeNew(u"Property");
            element->AttributeAdd(u"id", id);
            element->AttributeAdd(u"value", u"old " + id);
        }
        parent.NodeNew(u"Property");  // no id
    };
    auto document = NewBackupDocument();
    TWideXmlNode& scanned = *document->Root();
    scanned.SetName(u"SubDir");
    fill(Parent);
    fill(scanned);
    TPropertyIndex index(Parent);
    for (std::u16string id : {u"path", u"KEY", u"CAF\u00e9", u"\U00010428X", u"", u"Pat", u"Paths", u"new", u"NEW",
                              u"key", u"PATH"}) {
        TWideXmlNode* found = index.Find(id);
        TWideXmlNode& written = WritePropertyElement(index, id, Text(u"STRING", u"v" + id), false);
        WritePropertyElement(scanned, id, Text(u"STRING", u"v" + id), false);
        EXPECT_EQ(Parent.WriteToString(), scanned.WriteToString()) << Utf16ToUtf8(id);
        EXPECT_TRUE(!found || found == &written) << Utf16ToUtf8(id);
    }
    EXPECT_EQ(Parent.Nodes(2)->AttributeByName(u"value"), u"old PATH");
    EXPECT_EQ(Parent.NodeCount(), 10);
}

TEST_F(PropertyElementTest, ValuesAreEscapedByTheWriter) {
    TWideXmlNode& element =
        WritePropertyElement(Parent, u"HttpErrors", Text(u"EXPANDSZ", u"say \"<&>\" caf\u00e9"), false);
    EXPECT_EQ(Xml(element),
              u"<Property id=\"HttpErrors\" type=\"EXPANDSZ\" value=\"say &quot;&lt;&amp;&gt;&quot; caf\u00e9\" "
              u"Inherit=\"False\"/>");
    EXPECT_EQ(element.AttributeByName(u"value"), u"say \"<&>\" caf\u00e9");
}

} // namespace
} // namespace orvex
