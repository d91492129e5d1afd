#pragma once
// TXmlText: one UTF-8 text of a node (a name, a value, an attribute item) in 16
// bytes. Up to 15 bytes live in place; a longer text lives on the heap, or in the
// pages of a parse (XmlPages.h), which it keeps alive. Moving is a copy of the 16
// bytes; copying is explicit (Set).

#include "xml/XmlPages.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace orvex {

static_assert(std::endian::native == std::endian::little,
              "TXmlText keeps its kind in the size's top byte, which is byte 15 only on a "
              "little-endian machine");

class TXmlText {
public:
    TXmlText() noexcept { std::memset(FBytes, 0, sizeof FBytes); }
    ~TXmlText() { Release(); }
    TXmlText(TXmlText&& other) noexcept {
        std::memcpy(FBytes, other.FBytes, sizeof FBytes);
        std::memset(other.FBytes, 0, sizeof other.FBytes);
    }
    TXmlText& operator=(TXmlText&& other) noexcept {
        if (this != &other) {
            Release();
            std::memcpy(FBytes, other.FBytes, sizeof FBytes);
            std::memset(other.FBytes, 0, sizeof other.FBytes);
        }
        return *this;
    }
    TXmlText(const TXmlText&) = delete;
    TXmlText& operator=(const TXmlText&) = delete;

    std::string_view View() const {
        if (Kind() == kNear)
            return {FBytes, static_cast<size_t>(FBytes[kTag] & kNearLengthMask)};
        return {FarPointer(), FarSize()};
    }
    operator std::string_view() const { return View(); }
    bool empty() const { return Kind() == kNear && (FBytes[kTag] & kNearLengthMask) == 0; }
    size_t size() const { return View().size(); }

    // A copy of text of its own (in place when short, else on the heap).
    void Set(std::string_view text);
    TXmlText& operator=(std::string_view text) {
        Set(text);
        return *this;
    }
    // A copy of text in place, or in pages when it is longer.
    void SetIn(TXmlPages& pages, std::string_view text) {
        if (text.size() <= kNearCapacity && Kind() == kNear) {
            // Through a copy: text may lie inside this very text.
            char bytes[sizeof FBytes] = {};
            std::memcpy(bytes, text.data(), text.size());
            bytes[kTag] = static_cast<char>(text.size());
            std::memcpy(FBytes, bytes, sizeof FBytes);
            return;
        }
        SetFarIn(pages, text);
    }
    void clear() { Release(); }

    // Gives the memory back (into a batch when a whole tree goes); the text is
    // then empty.
    void Release() noexcept {
        if (Kind() != kNear)
            ReleaseFar();
        std::memset(FBytes, 0, sizeof FBytes);
    }
    void ReleaseInto(TXmlPages::TBatch& batch) noexcept {
        if (Kind() != kNear)
            batch.Release(const_cast<char*>(FarPointer()), Kind() == kPage);
        std::memset(FBytes, 0, sizeof FBytes);
    }

private:
    enum TKind : uint8_t { kNear = 0, kHeap = 1, kPage = 2 };
    static constexpr size_t kTag = 15;
    static constexpr size_t kNearCapacity = 15;
    static constexpr uint8_t kNearLengthMask = 0x0F;
    static constexpr uint64_t kSizeMask = (uint64_t(1) << 56) - 1;

    TKind Kind() const { return static_cast<TKind>(static_cast<uint8_t>(FBytes[kTag]) >> 6); }
    const char* FarPointer() const {
        const char* p;
        std::memcpy(&p, FBytes, sizeof p);
        return p;
    }
    size_t FarSize() const {
        uint64_t sizeAndTag;
        std::memcpy(&sizeAndTag, FBytes + 8, sizeof sizeAndTag);
        return static_cast<size_t>(sizeAndTag & kSizeMask);
    }
    void SetNear(std::string_view text);
    void SetFar(const char* pointer, size_t size, TKind kind);
    void ReleaseFar() noexcept;
    void SetFarIn(TXmlPages& pages, std::string_view text);

    // Near: the bytes, then in byte 15 the kind (top two bits) and the length.
    // Far: the pointer, then the size in 56 bits and the same tag byte on top.
    alignas(8) char FBytes[16];
};

} // namespace orvex
