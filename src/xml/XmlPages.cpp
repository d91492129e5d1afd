#include "xml/XmlPages.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace orvex {

// A page starts with its count of live objects; every object follows the address
// of its page. While an allocator cuts from a page, the count holds kHeld more,
// so that objects given back meanwhile never bring it to zero.
struct TXmlPages::TPage {
    std::atomic<int64_t> Live;
};

using TPage = TXmlPages::TPage;

namespace {

constexpr int64_t kHeld = int64_t(1) << 40;
constexpr size_t kFirstPageSize = 16 * 1024;
constexpr size_t kLargestPageSize = 64 * 1024;
// Objects this big get a page of their own, so a page never goes half empty.
constexpr size_t kLargeObject = kLargestPageSize / 8;
constexpr size_t kHeader = sizeof(TPage);

TPage*& PageOf(void* object) { return reinterpret_cast<TPage**>(object)[-1]; }

TPage* NewPageOf(size_t size, int64_t live) {
    void* block = std::malloc(size);
    if (!block)
        throw std::bad_alloc();
    return new (block) TPage{live};
}

void FreePage(TPage* page) {
    page->~TPage();
    std::free(page);
}

// Takes count objects off the page; frees it when none is left.
void Drop(TPage* page, int64_t count) {
    if (page->Live.fetch_sub(count, std::memory_order_acq_rel) == count)
        FreePage(page);
}

} // namespace

TXmlPages::~TXmlPages() { LetGo(); }

void* TXmlPages::AllocateOnNewPage(size_t need) {
    if (kXmlPagesBlockPerObject || need > kLargeObject) {
        TPage* page = NewPageOf(kHeader + need, 1);
        char* at = reinterpret_cast<char*>(page) + kHeader;
        *reinterpret_cast<TPage**>(at) = page;
        return at + sizeof(TPage*);
    }
    NewPage(need);
    char* at = FNext;
    FNext += need;
    *reinterpret_cast<TPage**>(at) = FPage;
    ++FMade;
    return at + sizeof(TPage*);
}

void TXmlPages::NewPage(size_t need) {
    LetGo();
    FNextPageSize = std::min(std::max(FNextPageSize * 2, kFirstPageSize), kLargestPageSize);
    const size_t size = std::max(FNextPageSize, kHeader + need);
    static_assert(kHeader % 8 == 0, "objects stay 8-aligned");
    FPage = NewPageOf(size, kHeld);
    FNext = reinterpret_cast<char*>(FPage) + kHeader;
    FEnd = reinterpret_cast<char*>(FPage) + size;
}

void TXmlPages::LetGo() {
    if (!FPage)
        return;
    Drop(FPage, kHeld - FMade);
    FPage = nullptr;
    FNext = FEnd = nullptr;
    FMade = 0;
}

void TXmlPages::Release(void* object) { Drop(PageOf(object), 1); }

void TXmlPages::Release(void* memory, bool inPages) {
    if (inPages)
        Release(memory);
    else
        std::free(memory);
}

void TXmlPages::TBatch::Release(void* object) {
    TPage* page = PageOf(object);
    if (page != FPage) {
        Flush();
        FPage = page;
    }
    ++FCount;
}

void TXmlPages::TBatch::Release(void* memory, bool inPages) {
    if (inPages)
        Release(memory);
    else
        std::free(memory);
}

void TXmlPages::TBatch::Flush() {
    if (FPage)
        Drop(FPage, FCount);
    FPage = nullptr;
    FCount = 0;
}

} // namespace orvex
