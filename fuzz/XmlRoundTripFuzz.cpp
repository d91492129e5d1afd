// Loads arbitrary bytes as a file; whatever loads must write, load again and
// give the same tree, in UTF-8 text and through the UTF-16 encodings. The same
// bytes load through the UTF-16 face, whose text reads back as that tree, and
// entity references resolve into a tree that writes and reads back, or are
// refused with the tree left as it was. Bytes the library refuses are a result;
// text it wrote, or bytes it took once, that it then refuses are a finding.

#include "base/Utf.h"
#include "xml/WideXmlDocument.h"
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

[[noreturn]] void Refused(const char* what, const std::string& text, const EXmlError& error) {
    std::fprintf(stderr, "%s does not load again: %s\n--- text (%zu bytes)\n", what, error.what(),
                 text.size());
    Print(text);
    std::abort();
}

template <typename TLoad>
void MustLoad(const char* what, const std::string& text, TLoad load) {
    try {
        load();
    } catch (const EXmlError& e) {
        Refused(what, text, e);
    }
}

std::string Compact(TUtf8XmlDocument& doc) {
    doc.SetXmlFormat(xfCompact);
    return doc.WriteToString();
}

// The compact text of every root-level node but the declarations, whose encoding
// a save in UTF-16 rewrites.
std::string TreeText(TUtf8XmlDocument& doc) {
    doc.SetXmlFormat(xfCompact);
    std::string text;
    for (int i = 0; i < doc.RootNodeList()->NodeCount(); ++i)
        if (doc.RootNodeList()->Nodes(i)->ElementType() != xeDeclaration)
            text += doc.RootNodeList()->Nodes(i)->WriteToString() + "\n";
    return text;
}

// Every name, value and attribute through the UTF-16 face, and the lookups by
// name find a node of that name (when the name is UTF-8 that the face keeps).
void WalkWide(TWideXmlNode& node) {
    for (int i = 0; i < node.AttributeCount(); ++i) {
        (void)node.AttributeName(i);
        (void)node.AttributeValue(i);
    }
    (void)node.ValueAsString();
    for (int i = 0; i < node.NodeCount(); ++i) {
        TWideXmlNode* child = node.Nodes(i);
        const std::u16string name = child->Name();
        const int found = node.NodeIndexByName(name);
        if (Utf16ToUtf8(name) == child->TUtf8XmlNode::Name() &&
            (found < 0 || found > i || node.NodeByName(name) != node.Nodes(found)))
            Mismatch("lookup by name", Utf16ToUtf8(name), "another place");
        WalkWide(*child);
    }
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
    // The text the writer makes reads back as the same tree at once.
    const std::string text = Compact(doc);
    TUtf8XmlDocument second;
    MustLoad("compact text", text, [&] { second.ReadFromString(text); });
    const std::string secondText = Compact(second);
    if (secondText != text)
        Mismatch("compact text after reloading", text, secondText);

    // The readable layout loads too.
    doc.SetXmlFormat(xfReadable);
    const std::string readableText = doc.WriteToString();
    TUtf8XmlDocument readable;
    MustLoad("readable text", readableText, [&] { readable.ReadFromString(readableText); });

    // The UTF-16 face loads the same bytes; its text reads back as the same tree.
    {
        TWideXmlDocument wide;
        const std::string bytes(reinterpret_cast<const char*>(data), size);
        TxmUTF8StringStream input(bytes);
        MustLoad("input through the UTF-16 face", bytes, [&] { wide.LoadFromStream(input); });
        WalkWide(*wide.RootNodeList());
        if (Utf16ToUtf8(Utf8ToUtf16(text)) == text) {
            wide.SetXmlFormat(xfCompact);
            TWideXmlDocument again;
            const std::u16string wideText = wide.WriteToString16();
            MustLoad("text of the UTF-16 face", Utf16ToUtf8(wideText),
                     [&] { again.ReadFromString(wideText); });
            const std::string againText = Compact(again);
            if (againText != text)
                Mismatch("text through the UTF-16 face", text, againText);
        }
    }

    // Entity references resolve, and the result writes and reads back the same;
    // a resolution the library refuses (an entity inside itself, one that grows
    // too large or too deep) leaves the tree as it was.
    {
        TUtf8XmlDocument resolved;
        MustLoad("compact text", text, [&] { resolved.ReadFromString(text); });
        bool refused = false;
        try {
            resolved.ResolveEntityReferences();
        } catch (const EXmlError&) {
            refused = true;
        }
        if (refused) {
            const std::string keptText = Compact(resolved);
            if (keptText != text)
                Mismatch("text after a refused resolution", text, keptText);
        } else {
            const std::string resolvedText = Compact(resolved);
            TUtf8XmlDocument back;
            MustLoad("resolved text", resolvedText, [&] { back.ReadFromString(resolvedText); });
            const std::string backText = Compact(back);
            if (backText != resolvedText)
                Mismatch("resolved text after reloading", resolvedText, backText);
        }
    }

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
        } catch (const EXmlError& e) {
            if (!misread)
                Refused("text saved in its encoding", saved.DataString(), e);
        }
    }

    // Through UTF-16 with a mark nothing changes but the declared encoding, as
    // long as the text is standard UTF-8 (other bytes cannot survive any conversion).
    if (Utf16ToUtf8(Utf8ToUtf16(text)) == text) {
        const std::string tree = TreeText(second);
        for (TStringEncodingType encoding : {seUTF16LE, seUTF16BE}) {
            second.SetExternalEncoding(encoding);
            TxmUTF8StringStream saved;
            second.SaveToStream(saved);
            saved.SetPosition(0);
            TUtf8XmlDocument reloaded;
            MustLoad("text saved in UTF-16", saved.DataString(),
                     [&] { reloaded.LoadFromStream(saved); });
            if (reloaded.ExternalEncoding() != encoding)
                Mismatch("encoding", "UTF-16", "other");
            const std::string reloadedTree = TreeText(reloaded);
            if (reloadedTree != tree)
                Mismatch("tree after a UTF-16 round trip", tree, reloadedTree);
        }
    }
    return 0;
}
