#pragma once
// TXmlPages: memory for what a parse creates (nodes, their texts, their lists),
// cut from pages one after the other. Every object keeps its page alive: a page
// is freed when the last object in it is given back and its allocator has moved
// on. So a parse costs no heap call per node, freeing a tree costs one call per
// page, and a node taken out of its tree or moved into another keeps its memory
// for as long as it lives, whatever becomes of the document that parsed it.
//
// Under AddressSanitizer every object gets a block of its own instead, freed as
// soon as the object is given back, so that a node or a text view used after it
// went is reported like any heap use after free.

#include <atomic>
#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#define ORVEX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVEX_ADDRESS_SANITIZER 1
#endif
#endif

namespace orvex {

#ifdef ORVEX_ADDRESS_SANITIZER
inline constexpr bool kXmlPagesBlockPerObject = true;
#else
inline constexpr bool kXmlPagesBlockPerObject = false;
#endif

class TXmlPages {
public:
    // A page of objects (defined in XmlPages.cpp).
    struct TPage;

    TXmlPages() = default;
    // Lets go of the current page (freed now if nothing in it lives).
    ~TXmlPages();
    TXmlPages(const TXmlPages&) = delete;
    TXmlPages& operator=(const TXmlPages&) = delete;

    // size bytes, aligned for any node, from the current page.
    void* Allocate(size_t size) {
        const size_t need = sizeof(void*) + ((size + 7) & ~size_t(7));
        if (kXmlPagesBlockPerObject || need > static_cast<size_t>(FEnd - FNext))
            return AllocateOnNewPage(need);
        char* at = FNext;
        FNext += need;
        *reinterpret_cast<TPage**>(at) = FPage;
        ++FMade;
        return at + sizeof(void*);
    }
    // Gives back an object that any allocator made, on any thread.
    static void Release(void* object);
    // Gives back memory from pages (inPages) or from malloc.
    static void Release(void* memory, bool inPages);

    // Gives back many objects, counting them per page: for freeing a tree.
    class TBatch {
    public:
        TBatch() = default;
        ~TBatch() { Flush(); }
        TBatch(const TBatch&) = delete;
        TBatch& operator=(const TBatch&) = delete;

        void Release(void* object);
        void Release(void* memory, bool inPages);
        void Flush();

    private:
        TPage* FPage = nullptr;
        int64_t FCount = 0;
    };

private:
    void* AllocateOnNewPage(size_t need);
    void NewPage(size_t need);
    void LetGo();

    TPage* FPage = nullptr;
    char* FNext = nullptr;
    char* FEnd = nullptr;
    // Objects made from FPage since it was started: its count takes them on
    // when the allocator lets go of it.
    int64_t FMade = 0;
    size_t FNextPageSize = 0;
};

} // namespace orvex
