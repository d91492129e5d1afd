#include "support/SharedFileStream.h"

#include "TestFiles.h"
#include "base/Utf.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace orvex;
using namespace orvex::testing;

namespace {

// The exception text a call raises, or "<none>".
template <class TException, class TCall>
std::string FailureOf(TCall call) {
    try {
        call();
    } catch (const TException& e) {
        return e.what();
    }
    return "<none>";
}

} // namespace

TEST(SharedFileStream, InvalidCreateModesFailWithoutTouchingTheDisk) {
    TTempFolder temp;
    for (uint16_t createMode : {uint16_t(0x0003), uint16_t(0x0050), uint16_t(0x00F1)}) {
        SCOPED_TRACE(createMode);
        EXPECT_EQ(FailureOf<EFCreateError>([&] { TtpSharedFileStream(temp.Path16("new.txt"), fmCreate, createMode); }),
                  "Cannot create file \"" + temp.Path("new.txt") + "\". The parameter is incorrect.");
        EXPECT_FALSE(FileExists(temp.Path("new.txt")));
    }
    WriteBytes(temp.Path("old.txt"), "keep");
    EXPECT_THROW(TtpSharedFileStream(temp.Path16("old.txt"), fmCreate, 0x0003), EFCreateError);
    EXPECT_EQ(ReadBytes(temp.Path("old.txt")), "keep");
}

TEST(SharedFileStream, OpenFailureTextNamesTheExpandedFile) {
    TTempFolder temp;
    ASSERT_EQ(mkdir(temp.Path("sub").c_str(), 0755), 0);
    const std::u16string roundabout = temp.Path16("sub/../missing.txt");
    EXPECT_EQ(FailureOf<EFOpenError>([&] { TtpSharedFileStream(roundabout, fmOpenRead | fmShareDenyWrite); }),
              "Cannot open file \"" + temp.Path("missing.txt") + "\". The system cannot find the file specified.");
    EXPECT_EQ(FailureOf<EFOpenError>([&] { TtpSharedFileStream(temp.Path16(""), fmOpenRead); }),
              "Cannot open file \"" + temp.Folder() + "\". Access is denied.");
    EXPECT_EQ(FailureOf<EFOpenError>([&] { TtpSharedFileStream(temp.Path16("x"), 0x0003); }),
              "Cannot open file \"" + temp.Path("x") + "\". The parameter is incorrect.");
}

TEST(SharedFileStream, ConflictingOpenFailsWithTheSharingText) {
    TTempFolder temp;
    WriteBytes(temp.Path("busy.log"), "x");
    TtpSharedFileStream writer(temp.Path16("busy.log"), fmOpenWrite | fmShareDenyWrite);
    EXPECT_EQ(FailureOf<EFOpenError>([&] { TtpSharedFileStream(temp.Path16("busy.log"), fmOpenWrite | fmShareDenyWrite); }),
              "Cannot open file \"" + temp.Path("busy.log") +
                  "\". The process cannot access the file because it is being used by another process.");
    EXPECT_THROW(TtpSharedFileStream(temp.Path16("busy.log"), fmCreate, fmOpenWrite | fmShareDenyWrite), EFCreateError);
    EXPECT_EQ(ReadBytes(temp.Path("busy.log")), "x");
    // A deny-none reader still gets in.
    TtpSharedFileStream reader(temp.Path16("busy.log"), fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(reader.Size(), 1);
}

TEST(SharedFileStream, CreateReplacesAndStreamsReadAndWrite) {
    TTempFolder temp;
    WriteBytes(temp.Path("f.bin"), "old contents");
    {
        TtpSharedFileStream stream(temp.Path16("f.bin"), fmCreate, fmOpenReadWrite | fmShareExclusive);
        EXPECT_EQ(stream.Size(), 0);
        stream.WriteBuffer("abcdef", 6);
        EXPECT_EQ(stream.Position(), 6);
        stream.SetPosition(2);
        char buffer[8] = {};
        EXPECT_EQ(stream.Read(buffer, sizeof buffer), 4u);
        EXPECT_EQ(std::string(buffer, 4), "cdef");
        stream.SetPosition(5);
        EXPECT_THROW(stream.ReadBuffer(buffer, 2), EReadError);
        stream.SetSize(3);
        EXPECT_EQ(stream.SeekToEnd(), 3);
    }
    EXPECT_EQ(ReadBytes(temp.Path("f.bin")), "abc");
}

TEST(SharedFileStream, OpenAlwaysCreatesWithoutTruncating) {
    TTempFolder temp;
    {
        TtpSharedFileStream created = TtpSharedFileStream::OpenAlways(temp.Path16("a.txt"), fmOpenWrite | fmShareDenyWrite);
        created.WriteBuffer("12", 2);
    }
    {
        TtpSharedFileStream again = TtpSharedFileStream::OpenAlways(temp.Path16("a.txt"), fmOpenWrite | fmShareDenyWrite);
        EXPECT_EQ(again.Size(), 2);
    }
    EXPECT_EQ(ReadBytes(temp.Path("a.txt")), "12");
    EXPECT_EQ(FailureOf<EFCreateError>([&] {
                  TtpSharedFileStream::OpenAlways(temp.Path16("none/a.txt"), fmOpenWrite | fmShareDenyWrite);
              }),
              "Cannot create file \"" + temp.Path("none/a.txt") + "\". The system cannot find the path specified.");
}
