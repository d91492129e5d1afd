#include "xml/XmlCodecStream.h"

#include "xml/XmlBufferedStreams.h"
#include "xml/XmlErrors.h"

#include <gtest/gtest.h>

using namespace orvex;

namespace {

using namespace std::string_literals;

// Reads a codec stream to its end, one byte a call as the API demands.
std::string ReadAll(TxmCodecStream& codec) {
    std::string out;
    char ch;
    while (codec.Read(&ch, 1) == 1)
        out.push_back(ch);
    return out;
}

std::string Decode(const std::string& bytes, TStringEncodingType* found = nullptr) {
    TxmUTF8StringStream source(bytes);
    TxmUtf8Stream codec(&source);
    std::string out = ReadAll(codec);
    if (found)
        *found = codec.Encoding();
    return out;
}

std::string Encode(TStringEncodingType encoding, const std::string& utf8) {
    TxmUTF8StringStream target;
    {
        TxmUtf8Stream codec(&target);
        codec.SetEncoding(encoding);
        codec.Write(utf8.data(), static_cast<int64_t>(utf8.size()));
    }
    return target.DataString();
}

template <class F>
void ExpectStreamError(F&& f, const std::string& text) {
    try {
        f();
        FAIL() << "no error, expected: " << text;
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.what(), text);
    }
}

} // namespace

TEST(EncodingDetection, TableRowsInOrder) {
    struct Case {
        std::string bytes;
        TStringEncodingType encoding;
        bool mark;
        size_t markLength;
    };
    const Case cases[] = {
        {"\x00\x00\xFE\xFF"s, seUCS4BE, true, 4},
        {"\xFF\xFE\x00\x00"s, seUCS4LE, true, 4},
        {"\x00\x00\xFF\xFE"s, seUCS4_2143, true, 4},
        {"\xFE\xFF\x00\x00"s, seUCS4_3412, true, 4},
        {"\xFE\xFF\x00<"s, seUTF16BE, true, 2},
        {"\xFF\xFE<\x00"s, seUTF16LE, true, 2}, // not row 1: that needs FF FE 00 00
        {"\xEF\xBB\xBF<"s, seUTF8, true, 3},
        {"\x00\x00\x00<"s, seUCS4BE, false, 0},
        {"<\x00\x00\x00"s, seUCS4LE, false, 0},
        {"\x00\x00<\x00"s, seUCS4_2143, false, 0},
        {"\x00<\x00\x00"s, seUCS4_3412, false, 0},
        {"\x00<\x00?"s, seUTF16BE, false, 0},
        {"<\x00?\x00"s, seUTF16LE, false, 0},
        {"<?xm"s, seAnsi, false, 0},
        {"\x4C\x6F\xA7\x94"s, seEBCDIC, false, 0},
        {"<r/>"s, seAnsi, false, 0},   // no row
        {""s, seUCS4BE, true, 4},      // nothing to compare: the first row
        {"<"s, seUCS4LE, false, 0},    // one byte matches row 8
        {"<?"s, seAnsi, false, 0},
    };
    for (const Case& c : cases) {
        const TEncodingDetection d = DetectEncoding(c.bytes);
        EXPECT_EQ(d.Encoding, c.encoding) << testing::PrintToString(c.bytes);
        EXPECT_EQ(d.HasMark, c.mark) << testing::PrintToString(c.bytes);
        EXPECT_EQ(d.MarkLength, c.markLength) << testing::PrintToString(c.bytes);
    }
}

TEST(CodecStream, ReadsEachEncodingAsUtf8) {
    struct Case {
        std::string bytes;
        std::string text;
        TStringEncodingType encoding;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF<a>\xC3\xA9</a>"s, "<a>\xC3\xA9</a>", seUTF8},
        {"\xFF\xFE<\x00\xE9\x00"s, "<\xC3\xA9", seUTF16LE},
        {"\xFE\xFF\x00<\x00\xE9"s, "<\xC3\xA9", seUTF16BE},
        {"<\x00?\x00"s, "<?", seUTF16LE},
        {"<?xml \x80\xE9"s, "<?xml \xE2\x82\xAC\xC3\xA9", seAnsi},
        // A pair of UTF-16 surrogates becomes one four-byte sequence.
        {"\xFF\xFE\x3D\xD8\x00\xDE<\x00"s, "\xF0\x9F\x98\x80<", seUTF16LE},
        // A lone high surrogate stays a three-byte sequence and the next unit is kept.
        {"\xFF\xFE\x3D\xD8<\x00"s, "\xED\xA0\xBD<", seUTF16LE},
    };
    for (const Case& c : cases) {
        TStringEncodingType found;
        EXPECT_EQ(Decode(c.bytes, &found), c.text) << testing::PrintToString(c.bytes);
        EXPECT_EQ(found, c.encoding);
    }
}

TEST(CodecStream, Utf8SequencesAreFramedExactly) {
    TxmUTF8StringStream source("\xEF\xBB\xBF" "a\xF0\x9F\x98\x80<\xE3<\xC3\xA9\x80<\0b"s);
    TxmUtf8Stream codec(&source);
    // Four-byte character, stray lead before "<", lone continuation byte, NUL as data.
    EXPECT_EQ(ReadAll(codec), "a\xF0\x9F\x98\x80<\xE3<\xC3\xA9\x80<\0b"s);
}

TEST(CodecStream, StepsBackOverTheLastCharacters) {
    TxmUTF8StringStream source("\xEF\xBB\xBF" "a\xF0\x9F\x98\x80<b"s);
    TxmUtf8Stream codec(&source);
    char ch;
    for (int i = 0; i < 6; ++i) // a, four bytes, <
        ASSERT_EQ(codec.Read(&ch, 1), 1);
    EXPECT_EQ(ch, '<');
    EXPECT_EQ(codec.Position(), 9);
    codec.Seek(-2, soCurrent);
    EXPECT_EQ(codec.Position(), 4); // before the four-byte character
    EXPECT_EQ(ReadAll(codec), "\xF0\x9F\x98\x80<b");
    codec.Seek(-2, soCurrent); // the failed read at the end counts as one
    EXPECT_EQ(ReadAll(codec), "b");
    EXPECT_EQ(codec.Seek(0, soBeginning), 0); // does not rewind
    EXPECT_EQ(codec.Position(), 10);
    EXPECT_EQ(codec.Size(), 10);
}

TEST(CodecStream, ErrorTexts) {
    ExpectStreamError([] { Decode(""); }, "Unsupported string encoding");
    ExpectStreamError([] { Decode("<"); }, "Unsupported string encoding");
    ExpectStreamError([] { Decode("\x00\x00\x00<"s); }, "Unsupported string encoding");
    ExpectStreamError([] { Decode("\x4C\x6F\xA7\x94"s); }, "Unsupported string encoding");
    ExpectStreamError([] { TxmUtf8Stream codec(nullptr); char c; codec.Read(&c, 1); },
                      "Encoding stream unassigned");
    ExpectStreamError([] { TxmUTF8StringStream s("<r/>"); TxmUtf8Stream codec(&s);
                           char c[2]; codec.Read(c, 2); },
                      "Cannot read multiple chars from conversion stream at once");
    ExpectStreamError([] { TxmUTF8StringStream s("<r/>"); TxmUtf8Stream codec(&s);
                           codec.Seek(0, soCurrent); },
                      "Cannot seek before reading or writing in conversion stream");
    ExpectStreamError([] { TxmUTF8StringStream s("<r/>"); TxmUtf8Stream codec(&s);
                           char c; codec.Read(&c, 1); codec.Seek(3, soCurrent); },
                      "Cannot perform seek on codec stream");
    ExpectStreamError([] { TxmUTF8StringStream s("<r/>"); TxmUtf8Stream codec(&s);
                           char c; codec.Read(&c, 1); codec.Write("x", 1); },
                      "Cannot write to an UTF stream opened for reading");
    ExpectStreamError([] { TxmUTF8StringStream s; TxmUtf8Stream codec(&s);
                           codec.Write("x", 1); char c; codec.Read(&c, 1); },
                      "Cannot read from a conversion stream opened for writing");
    ExpectStreamError([] { Encode(seEBCDIC, "x"); }, "Unsupported string encoding");
}

TEST(CodecStream, UnwritableEncodingWritesNothing) {
    TxmUTF8StringStream target;
    TxmUtf8Stream codec(&target);
    codec.SetEncoding(seUCS4LE);
    EXPECT_THROW(codec.Write("x", 1), EStreamError);
    EXPECT_EQ(target.DataString(), "");
}

TEST(CodecStream, WritesMarkAndUnits) {
    const std::string text = "<a>\xC3\xA9\xF0\x9F\x98\x80</a>";
    EXPECT_EQ(Encode(seUTF8, text), text); // never a mark
    EXPECT_EQ(Encode(seUTF16LE, text),
              "\xFF\xFE<\x00" "a\x00>\x00\xE9\x00\x3D\xD8\x00\xDE<\x00/\x00" "a\x00>\x00"s);
    EXPECT_EQ(Encode(seUTF16BE, text),
              "\xFE\xFF\x00<\x00" "a\x00>\x00\xE9\xD8\x3D\xDE\x00\x00<\x00/\x00" "a\x00>"s);
    EXPECT_EQ(Encode(se16BitLE, "ab"), "a\x00" "b\x00"s);
    EXPECT_EQ(Encode(se16BitBE, "ab"), "\x00" "a\x00" "b"s);
    // 1252 holds the euro sign and e acute, not the emoji.
    EXPECT_EQ(Encode(seAnsi, "\xE2\x82\xAC\xC3\xA9\xF0\x9F\x98\x80"), "\x80\xE9?");
}

// A character the output encoding cannot hold is a loss, reported once; a "?"
// written as itself is none.
TEST(CodecStream, LossOnWriteIsReported) {
    const struct {
        TStringEncodingType encoding;
        std::string text;
        bool lost;
    } cases[] = {
        {seAnsi, "a?\xC3\xA9\xE2\x82\xAC", false},
        {seAnsi, "\xE4\xB8\xAD and \xF0\x9F\x98\x80", true},
        {seUTF16LE, "\xE4\xB8\xAD\xF0\x9F\x98\x80", false},
    };
    for (const auto& c : cases) {
        TxmUTF8StringStream target;
        TxmUtf8Stream codec(&target);
        codec.SetEncoding(c.encoding);
        int reports = 0;
        codec.OnUnicodeLoss = [&reports](TxmCodecStream&) { ++reports; };
        codec.Write(c.text.data(), static_cast<int64_t>(c.text.size()));
        codec.Write(c.text.data(), static_cast<int64_t>(c.text.size()));
        EXPECT_EQ(codec.WarningUnicodeLoss(), c.lost) << c.text;
        EXPECT_EQ(reports, c.lost ? 1 : 0) << c.text;
    }
}

TEST(CodecStream, CharactersSplitAcrossWritesAreKept) {
    TxmUTF8StringStream target;
    {
        TxmUtf8Stream codec(&target);
        codec.SetEncoding(seUTF16LE);
        const std::string text = "\xF0\x9F\x98\x80\xC3\xA9";
        for (char c : text)
            codec.Write(&c, 1);
    }
    EXPECT_EQ(target.DataString(), "\xFF\xFE\x3D\xD8\x00\xDE\xE9\x00"s);
}

TEST(CodecStream, RoundTripsThroughEveryWritableEncoding) {
    const std::string text = "<r a=\"\xC3\xA9\">\xF0\x9F\x98\x80 \xE2\x82\xAC\0z</r>"s;
    for (TStringEncodingType e : {seUTF16LE, seUTF16BE}) {
        TxmUTF8StringStream stream(Encode(e, text));
        TxmBufferedReadStream buffered(&stream, false);
        TxmUtf8Stream codec(&buffered);
        EXPECT_EQ(ReadAll(codec), text);
        EXPECT_EQ(codec.Encoding(), e);
        EXPECT_TRUE(codec.HasByteOrderMark());
    }
}

TEST(CodecStream, BulkDecodeMatchesTheStream) {
    const std::string samples[] = {"ab\x80\xE9z", "\x3D\xD8\x00\xDE<\x00\x3D\xD8"s, "x"};
    EXPECT_EQ(DecodeToUtf8(samples[0], seAnsi), "ab\xE2\x82\xAC\xC3\xA9z");
    EXPECT_EQ(DecodeToUtf8(samples[1], seUTF16LE), "\xF0\x9F\x98\x80<\xED\xA0\xBD");
    EXPECT_EQ(DecodeToUtf8(samples[2], seUTF16BE), "\xE7\xA0\x80"); // odd byte: high half
    EXPECT_THROW(DecodeToUtf8("x", seUCS4LE), EStreamError);
}

TEST(CodecStream, SequenceLength) {
    const auto len = [](const std::string& s) {
        return Utf8SequenceLength(reinterpret_cast<const unsigned char*>(s.data()), s.size());
    };
    EXPECT_EQ(len("a"), 1u);
    EXPECT_EQ(len("\xC3\xA9"), 2u);
    EXPECT_EQ(len("\xE2\x82\xAC"), 3u);
    EXPECT_EQ(len("\xF0\x9F\x98\x80"), 4u);
    EXPECT_EQ(len("\xF0\x9F\x98"), 0u); // cut off by the end
    EXPECT_EQ(len("\xF0\x9F<"), 1u);    // broken: the lead stands alone
    EXPECT_EQ(len("\x80"), 1u);
    EXPECT_EQ(len("\xFF"), 1u);
    EXPECT_EQ(len(""), 0u);
}
