#include "xml/XmlStreams.h"

#include "xml/XmlErrors.h"
#include "xml/XmlStringBuilder.h"
#include "xml/XmlSurplusReader.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace orvex;

TEST(UTF8StringStream, HoldsTheBytesFromPositionZero) {
    TxmUTF8StringStream s(std::string("ab\0c", 4));
    EXPECT_EQ(s.Position(), 0);
    EXPECT_EQ(s.Size(), 4);
    char buf[8];
    EXPECT_EQ(s.Read(buf, 8), 4);
    EXPECT_EQ(s.Read(buf, 8), 0);
    s.SetPosition(2);
    s.Write("XYZ", 3);
    EXPECT_EQ(s.DataString(), "abXYZ"); // DataString ignores the position
    EXPECT_EQ(s.Size(), 5);
    EXPECT_EQ(s.ReadRest(), "");
    s.SetPosition(1);
    EXPECT_EQ(s.ReadRest(), "bXYZ");
}

TEST(FileStream, ReadsAndReportsMissingFiles) {
    const std::string path = testing::TempDir() + "orvex_file_stream.bin";
    std::ofstream(path, std::ios::binary) << "hello";
    TxmFileStream file(std::u16string(path.begin(), path.end()));
    EXPECT_EQ(file.Size(), 5);
    EXPECT_EQ(file.ReadRest(), "hello");
    EXPECT_THROW(file.Write("x", 1), EStreamError);
    try {
        TxmFileStream missing(u"/nonexistent-folder/x.xml");
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(),
                     "Cannot open file \"/nonexistent-folder/x.xml\". No such file or directory");
    }
}

TEST(SurplusReader, PushedBackBytesComeFirst) {
    TxmUTF8StringStream s(" \t\r\nxy");
    TxmSurplusReader reader(&s);
    reader.SetSurplus("\n ab");
    char ch = 0;
    ASSERT_TRUE(reader.ReadCharSkipBlanks(ch));
    EXPECT_EQ(ch, 'a');
    EXPECT_EQ(reader.Surplus(), "b");
    EXPECT_EQ(reader.ReadChar(ch), 1);
    EXPECT_EQ(ch, 'b');
    ASSERT_TRUE(reader.ReadCharSkipBlanks(ch));
    EXPECT_EQ(ch, 'x');
    EXPECT_EQ(reader.ReadChar(ch), 1);
    EXPECT_EQ(reader.ReadChar(ch), 0);
    EXPECT_FALSE(reader.ReadCharSkipBlanks(ch));
}

TEST(StringBuilder, GrowsByDoublingAndCopiesWithinUse) {
    TxmStringBuilder b;
    EXPECT_EQ(b.Capacity(), 64u);
    b.AddString("");
    EXPECT_EQ(b.Length(), 0u);
    b.AddString(std::string(64, 'x'));
    EXPECT_EQ(b.Capacity(), 64u);
    b.AddChar('y');
    EXPECT_EQ(b.Capacity(), 128u);
    b.AddString(std::string(200, 'z'));
    EXPECT_EQ(b.Capacity(), 512u);
    EXPECT_EQ(b.Length(), 265u);
    EXPECT_EQ(b[65], 'y');
    EXPECT_EQ(b.StringCopy(64, 3), "xyz");
    EXPECT_EQ(b.StringCopy(260, 100), "zzzzzz"); // only the bytes in use
    EXPECT_EQ(b.StringCopy(266, 1), "");
    b.Clear();
    EXPECT_EQ(b.Length(), 0u);
    EXPECT_EQ(b.Capacity(), 512u);
    EXPECT_EQ(b.Value(), "");
}
