#include "xml/XmlText.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace orvex {

void TXmlText::SetNear(std::string_view text) {
    // Through a copy: text may lie inside this very text.
    char bytes[sizeof FBytes] = {};
    std::memcpy(bytes, text.data(), text.size());
    bytes[kTag] = static_cast<char>(text.size());
    if (Kind() != kNear)
        ReleaseFar();
    std::memcpy(FBytes, bytes, sizeof FBytes);
}

void TXmlText::SetFar(const char* pointer, size_t size, TKind kind) {
    std::memcpy(FBytes, &pointer, sizeof pointer);
    const uint64_t sizeAndTag = static_cast<uint64_t>(size) | (static_cast<uint64_t>(kind) << 62);
    std::memcpy(FBytes + 8, &sizeAndTag, sizeof sizeAndTag);
}

void TXmlText::Set(std::string_view text) {
    if (text.size() <= kNearCapacity) {
        SetNear(text);
        return;
    }
    // Copied first: text may lie inside this very text.
    char* copy = static_cast<char*>(std::malloc(text.size()));
    if (!copy)
        throw std::bad_alloc();
    std::memcpy(copy, text.data(), text.size());
    if (Kind() != kNear)
        ReleaseFar();
    SetFar(copy, text.size(), kHeap);
}

void TXmlText::SetFarIn(TXmlPages& pages, std::string_view text) {
    if (text.size() <= kNearCapacity) {
        SetNear(text);
        return;
    }
    char* copy = static_cast<char*>(pages.Allocate(text.size()));
    std::memcpy(copy, text.data(), text.size());
    if (Kind() != kNear)
        ReleaseFar();
    SetFar(copy, text.size(), kPage);
}

void TXmlText::ReleaseFar() noexcept { TXmlPages::Release(const_cast<char*>(FarPointer()), Kind() == kPage); }

} // namespace orvex
