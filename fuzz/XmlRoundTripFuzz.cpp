// Loads arbitrary bytes as a file; whatever loads must write, load again and
// give the same tree, in UTF-8 text and through the UTF-16 encodings.

#include "platform/base/Utf.h"
#include "xml/XmlDocument.h"
#include "xml/XmlErrors.h"
#include "xml/XmlNode.h"
#include "xml/XmlStreams.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace orvex;

void Print(const std::string& bytes) {
    for (unsigned char c : bytes)
        if (c == '\n' || (c >= 0x20 && c < 0x7F))
            std::fputc(c, stderr);
        else
            std::fprintf(stderr, "\\x%02X", c);
    std::fputc('\n', stderr);
}

[[noreturn]] void Mismatch(const char* what, const std::string& expected, const std::string& got) {
    std::fprintf(stderr, "%s differs\n--- expected (%zu bytes)\n", what, expected.size());
    Print(expected);
    std::fprintf(stderr, "--- got (%zu bytes)\n", got.size());
    Print(got);
    std::abort();
}

// An element name holding a quote or "=" (which no name set through the API
// can hold) is split off its tag by the same rule that joins attribute items,
// so such a tree need not read back as written.
bool HasAmbiguousName(const TUtf8XmlNode& node) {
    if (node.ElementType() == xeNormal &&
        node.Name().find_first_of("\"'=") != std::string::npos)
        return true;
    for (int i = 0; i < node.NodeCount(); ++i)
        if (HasAmbiguousName(*node.Nodes(i)))
            return true;
    return false;
}

std::string Compact(TUtf8XmlDocument& doc) {
    doc.SetXmlFormat(xfCompact);
    return doc.WriteToString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TUtf8XmlDocument doc;
    try {
        TxmUTF8StringStream input(std::string(reinterpret_cast<const char*>(data), size));
        doc.LoadFromStream(input);
    } catch (const EXmlError&) {
        return 0; // refused with a clear error: fine
    }
    const std::string first = Compact(doc);
    if (HasAmbiguousName(*doc.RootNodeList()))
        return 0;

    // The text the writer makes reads back. Splitting tag items is not stable for
    // every odd input (a quoted item joins an earlier item holding "=", and the
    // writer separates items by blanks), so the tree may change while items keep
    // joining; each round joins at least one, so within as many rounds as there
    // are bytes writing and reading must agree exactly.
    TUtf8XmlDocument second;
    second.ReadFromString(first);
    std::string text = Compact(second);
    for (size_t round = 0;; ++round) {
        TUtf8XmlDocument next;
        next.ReadFromString(text);
        const std::string nextText = Compact(next);
        if (nextText == text)
            break;
        if (round > text.size())
            Mismatch("compact text after reloading", text, nextText);
        second.Assign(next);
        text = nextText;
    }

    // The readable layout loads too.
    doc.SetXmlFormat(xfReadable);
    TUtf8XmlDocument readable;
    readable.ReadFromString(doc.WriteToString());

    // Saved in the encoding it was read in, it loads again.
    {
        TxmUTF8StringStream saved;
        doc.SaveToStream(saved);
        saved.SetPosition(0);
        // Without a mark, text that begins like "<" NUL "?" NUL reads as another
        // encoding (UTF-16, UCS-4): only such text may fail to load again.
        const TEncodingDetection seen = DetectEncoding(saved.DataString());
        const bool misread = !seen.HasMark && seen.Encoding != seAnsi;
        TUtf8XmlDocument reloaded;
        try {
            reloaded.LoadFromStream(saved);
        } catch (const EXmlError&) {
            if (!misread)
                throw;
        }
    }

    // Through UTF-16 with a mark nothing changes, as long as the text is
    // standard UTF-8 (other bytes cannot survive any conversion).
    if (Utf16ToUtf8(Utf8ToUtf16(text)) == text) {
        for (TStringEncodingType encoding : {seUTF16LE, seUTF16BE}) {
            second.SetExternalEncoding(encoding);
            TxmUTF8StringStream saved;
            second.SaveToStream(saved);
            saved.SetPosition(0);
            TUtf8XmlDocument reloaded;
            reloaded.LoadFromStream(saved);
            if (reloaded.ExternalEncoding() != encoding)
                Mismatch("encoding", "UTF-16", "other");
            const std::string reloadedText = Compact(reloaded);
            if (reloadedText != text)
                Mismatch("text after a UTF-16 round trip", text, reloadedText);
        }
    }
    return 0;
}
