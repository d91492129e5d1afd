#include "keyedconfig/VeldarFileRoutines.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "KeyedTestFiles.h"
#include "keyedconfig/VeldarKeyTypes.h"
#include "xml/WideXmlDocument.h"

namespace orvex {
namespace {

TEST(VeldarFileRoutinesTest, PathParts) {
    struct Row {
        std::u16string_view file, folder, name, stem, parent;
    };
    const Row rows[] = {
        {u"/a/b/c.xml", u"/a/b/", u"c.xml", u"c", u"/a/"},
        {u"/c.tar.gz", u"/", u"c.tar.gz", u"c.tar", u"/"},
        {u"rel/x", u"rel/", u"x", u"x", u""},
        {u"plain", u"", u"plain", u"plain", u""},
        {u"/a/.hidden", u"/a/", u".hidden", u".hidden", u"/"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FolderOfFile(row.file), row.folder);
        EXPECT_EQ(FileNameOnly(row.file), row.name);
        EXPECT_EQ(FileNameWithoutExtension(row.file), row.stem);
        EXPECT_EQ(ParentFolderOf(row.file), row.parent);
    }
    EXPECT_TRUE(IsRootedPath(u"/x"));
    EXPECT_FALSE(IsRootedPath(u"x/y"));
    EXPECT_FALSE(IsRootedPath(u""));
    EXPECT_EQ(WithTrailingDelimiter(u"/a"), u"/a/");
    EXPECT_EQ(WithTrailingDelimiter(u"/a/"), u"/a/");
    EXPECT_EQ(WithTrailingDelimiter(u""), u"");
}

TEST(VeldarFileRoutinesTest, FileAgesAndStamps) {
    fake::TTempFolder folder;
    const std::u16string file = folder.File("f.txt");
    TDateTime age = 5;
    EXPECT_FALSE(GetFileAge(file, age));
    EXPECT_EQ(age, 0);
    EXPECT_TRUE(FileChangedSince(file, 0));
    EXPECT_FALSE(FileStampOf(file).Exists);

    fake::WriteBytes(file, "one");
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 500000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (folder.Path() + "/f.txt").c_str(), times, 0), 0);
    ASSERT_TRUE(GetFileAge(file, age));
    EXPECT_FALSE(FileChangedSince(file, age));
    EXPECT_TRUE(FileChangedSince(file, age + 1.0 / 86400));
    const TFileStamp stamp = FileStampOf(file);
    EXPECT_TRUE(stamp.Exists);
    EXPECT_EQ(stamp.Nanoseconds, 500000000);

    // Replaced by a rename with the same time: the age cannot tell, the stamp can.
    fake::WriteBytes(folder.File("g.txt"), "two");
    ASSERT_EQ(::utimensat(AT_FDCWD, (folder.Path() + "/g.txt").c_str(), times, 0), 0);
    std::filesystem::rename(folder.Path() + "/g.txt", folder.Path() + "/f.txt");
    EXPECT_FALSE(FileChangedSince(file, age));
    EXPECT_NE(FileStampOf(file), stamp);
    EXPECT_FALSE(GetFileAge(folder.Folder(), age)); // a folder has no file age
}

TEST(VeldarFileRoutinesTest, ForceFolderOf) {
    fake::TTempFolder folder;
    std::u16string error = u"x";
    EXPECT_TRUE(ForceFolderOf(u"plain.xml", error));
    EXPECT_EQ(error, u"");
    EXPECT_TRUE(ForceFolderOf(folder.File("a/b/c/file.xml"), error));
    EXPECT_TRUE(FolderExistsAt(folder.File("a/b/c")));
    fake::WriteBytes(folder.File("blocker"), "");
    EXPECT_FALSE(ForceFolderOf(folder.File("blocker/sub/file.xml"), error));
    EXPECT_FALSE(error.empty());
}

TEST(VeldarFileRoutinesTest, NodeMoves) {
    TWideXmlDocument doc;
    doc.ReadFromString(u"<R><A/><B x=\"1\" context=\"c\" y=\"&amp;2\"/></R>");
    TWideXmlNode* b = doc.Root()->Nodes(1);
    MoveNodeToFront(b);
    MoveNodeToFront(doc.Root()); // the root's container keeps its order too
    MoveContextAttributeLast(b, u"context");
    EXPECT_EQ(doc.Root()->WriteToString(), u"<R><B x=\"1\" y=\"&amp;2\" context=\"c\"/><A/></R>");
    MoveContextAttributeLast(doc.Root()->Nodes(1), u"context"); // none: nothing happens
    MoveNodeToFront(nullptr);
    // Outside any list a node stays put, though its Parent be gone.
    std::unique_ptr<TWideXmlNode> loose = doc.Root()->NodeExtract(b);
    loose->SetParent(doc.Root()->Nodes(0));
    doc.Root()->NodeDelete(0);
    MoveNodeToFront(loose.get());
}

TEST(VeldarFileRoutinesTest, KeyTypeElementNames) {
    struct Row {
        TVeldarKeyType type;
        std::u16string_view element, attribute;
    };
    const Row rows[] = {{ktFile, u"Key2File", u"filename"},
                        {ktFolder, u"Key2Folder", u"folder"},
                        {ktValue, u"Key2Value", u"value"}};
    for (const Row& row : rows) {
        std::u16string element, attribute;
        KeyTypeElementNames(row.type, element, attribute);
        EXPECT_EQ(element, row.element);
        EXPECT_EQ(attribute, row.attribute);
    }
}

TEST(VeldarFileRoutinesTest, PropertyListsAndEvents) {
    EXPECT_EQ(PropertyList({{u"Zeta", u"1"}, {u"Alpha", PropertyText(true)}, {u"Mid", PropertyText(false)},
                            {u"Set", SetPropertyText({})}, {u"Two", SetPropertyText({u"a", u"b"})}}),
              (std::vector<std::u16string>{u"Alpha=True", u"Mid=False", u"Set=[]", u"Two=[a,b]", u"Zeta=1"}));
    std::function<void()> handler;
    EXPECT_FALSE(IsEventAssigned(handler));
    handler = [] {};
    EXPECT_TRUE(IsEventAssigned(handler));
}

} // namespace
} // namespace orvex
