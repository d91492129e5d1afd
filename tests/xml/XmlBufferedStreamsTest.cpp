#include "xml/XmlBufferedStreams.h"

#include "FullStream.h"
#include "xml/XmlErrors.h"

#include <gtest/gtest.h>

using namespace orvex;

namespace {

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + i * 7 % 26);
    return s;
}

} // namespace

TEST(BufferedReadStream, ReadsAcrossPagesByteAndBlockWise) {
    for (size_t size : {size_t(0), size_t(1), size_t(65535), size_t(65536), size_t(65537),
                        size_t(200000)}) {
        const std::string data = Pattern(size);
        TxmUTF8StringStream source(data);
        TxmBufferedReadStream single(&source, false);
        std::string got;
        char ch;
        while (single.Read(&ch, 1) == 1)
            got.push_back(ch);
        EXPECT_EQ(got, data) << size;

        TxmBufferedReadStream blocks(&source, false);
        got.assign(size + 10, '\0');
        size_t used = 0;
        for (int64_t n; (n = blocks.Read(got.data() + used, 1000)) > 0;)
            used += static_cast<size_t>(n);
        got.resize(used);
        EXPECT_EQ(got, data) << size;
    }
}

TEST(BufferedReadStream, SeeksAnywhere) {
    const std::string data = Pattern(150000);
    TxmUTF8StringStream source(data);
    TxmBufferedReadStream stream(&source, false);
    char buf[4];
    EXPECT_EQ(stream.Seek(65534, soBeginning), 65534);
    ASSERT_EQ(stream.Read(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), data.substr(65534, 4));
    EXPECT_EQ(stream.Seek(-3, soCurrent), 65535);
    ASSERT_EQ(stream.Read(buf, 1), 1);
    EXPECT_EQ(buf[0], data[65535]);
    EXPECT_EQ(stream.Seek(-2, soEnd), 149998);
    EXPECT_EQ(stream.Read(buf, 4), 2);
    EXPECT_EQ(stream.Size(), 150000);
    EXPECT_EQ(stream.Position(), 150000);
    try {
        stream.Write("x", 1);
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(), "Cannot write to an UTF stream opened for reading");
    }
}

TEST(BufferedWriteStream, GathersAndFlushes) {
    const std::string data = Pattern(200001);
    TxmUTF8StringStream target;
    {
        TxmBufferedWriteStream stream(&target, false);
        EXPECT_EQ(stream.Write(data.data(), 10), 10);
        EXPECT_EQ(target.DataString(), ""); // still pending
        EXPECT_EQ(stream.Write(data.data() + 10, 65526), 65526);
        EXPECT_EQ(target.DataString().size(), 65536u); // a full block goes out at once
        EXPECT_EQ(stream.Write(data.data() + 65536, 200001 - 65536), 200001 - 65536);
        EXPECT_EQ(stream.Position(), 200001);
        EXPECT_EQ(stream.Seek(200001, soBeginning), 200001);
        EXPECT_EQ(stream.Seek(0, soEnd), 200001);
        for (auto [offset, origin] : {std::pair{int64_t(0), soBeginning}, {int64_t(5), soCurrent}}) {
            try {
                stream.Seek(offset, origin);
                FAIL();
            } catch (const EStreamError& e) {
                EXPECT_STREQ(e.what(), "Cannot perform seek on codec stream");
            }
        }
        char ch;
        EXPECT_THROW(stream.Read(&ch, 1), EStreamError);
    }
    EXPECT_EQ(target.DataString(), data);
}

TEST(BufferedWriteStream, ShortWriteOfTheTargetIsAnError) {
    test::TFullStream target(5);
    TxmBufferedWriteStream stream(&target, false);
    stream.Write("0123456789", 10);
    try {
        stream.Flush();
        FAIL();
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(), "Cannot write to output stream");
    }
}

TEST(BufferedStreams, OwnedSourceIsFreed) {
    // Under the sanitizer a leak or double free would show here.
    TxmBufferedReadStream reader(new TxmUTF8StringStream("abc"), true);
    char ch;
    EXPECT_EQ(reader.Read(&ch, 1), 1);
    TxmBufferedWriteStream writer(new TxmUTF8StringStream(), true);
    writer.Write("abc", 3);
}
