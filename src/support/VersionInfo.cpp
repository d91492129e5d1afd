#include "support/VersionInfo.h"

#include "base/CommandLine.h"
#include "base/NumberText.h"
#include "support/HostInfo.h"
#include "support/Version.h"

#include <charconv>

namespace orvex {

namespace {

constexpr uint32_t kSignature = 0xFEEF04BD;
constexpr uint32_t kStructureVersion = 0x00010000;
constexpr size_t kBlockSize = 6 * 4;

constexpr uint8_t kNotLoaded = 255;
constexpr uint8_t kLoaded = 1;
constexpr uint8_t kNoVersionInfo = 0;

struct TVersionCache {
    std::vector<uint8_t> block;
    uint8_t state = kNotLoaded;
    uint8_t selector = kVersionAutomatic;
    TVersionBlockReader testReader;
};

TVersionCache& Cache() {
    static TVersionCache cache;
    return cache;
}

void PutWord(std::vector<uint8_t>& out, uint32_t word) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(word >> shift));
}

uint32_t GetWord(const std::vector<uint8_t>& block, size_t index) {
    uint32_t word = 0;
    for (int i = 3; i >= 0; --i)
        word = (word << 8) | block[index * 4 + static_cast<size_t>(i)];
    return word;
}

// The built-in version resource of the program file.
std::vector<uint8_t> BuiltInVersionBlock(const std::u16string&) {
    const uint32_t ms = (uint32_t(ORVEX_VERSION_MAJOR) << 16) | uint32_t(ORVEX_VERSION_MINOR);
    const uint32_t ls = (uint32_t(ORVEX_VERSION_PATCH) << 16) | uint32_t(ORVEX_VERSION_BUILD);
    return MakeVersionBlock(ms, ls, ms, ls);
}

} // namespace

std::vector<uint8_t> MakeVersionBlock(uint32_t fileMS, uint32_t fileLS, uint32_t productMS, uint32_t productLS) {
    std::vector<uint8_t> block;
    block.reserve(kBlockSize);
    for (uint32_t word : {kSignature, kStructureVersion, fileMS, fileLS, productMS, productLS})
        PutWord(block, word);
    return block;
}

bool LoadVersionInfo(std::vector<uint8_t>& buffer, uint8_t selector) {
    // No code of this program runs inside a library, so every selector names the
    // program file.
    const std::u16string fileName = selector == kVersionOfProgram ? ParamStr(0) : GetModuleFileNameNormalized();
    const TVersionBlockReader& reader = Cache().testReader;
    buffer = reader ? reader(fileName) : BuiltInVersionBlock(fileName);
    return !buffer.empty();
}

void GetVersionInfoCached(uint8_t selector, std::vector<uint8_t>& buffer) {
    TVersionCache& cache = Cache();
    if (selector != cache.selector)
        cache.state = kNotLoaded;
    if (cache.state == kNotLoaded) {
        cache.state = LoadVersionInfo(cache.block, selector) ? kLoaded : kNoVersionInfo;
        if (cache.state != kLoaded)
            cache.block.clear();
    }
    cache.selector = selector;
    if (cache.state == kLoaded)
        buffer = cache.block;
    else
        buffer.clear();
}

bool QueryFileVersion(const std::vector<uint8_t>& block, uint32_t& versionMS, uint32_t& versionLS) {
    if (block.size() < kBlockSize || GetWord(block, 0) != kSignature)
        return false;
    versionMS = GetWord(block, 2);
    versionLS = GetWord(block, 3);
    return true;
}

std::u16string GetVersionString(bool shortForm, uint8_t selector) {
    std::vector<uint8_t> block;
    GetVersionInfoCached(selector, block);
    uint32_t ms = 0;
    uint32_t ls = 0;
    if (block.empty() || !QueryFileVersion(block, ms, ls))
        return u"Unknown";
    std::u16string text;
    text += IntToText(ms >> 16);
    text += u'.';
    text += IntToText(ms & 0xFFFF);
    if (!shortForm) {
        text += u'.';
        text += IntToText(ls >> 16);
        text += u'.';
        text += IntToText(ls & 0xFFFF);
    }
    return text;
}

void SetVersionBlockReaderForTesting(TVersionBlockReader reader) {
    TVersionCache& cache = Cache();
    cache.testReader = std::move(reader);
    cache.block.clear();
    cache.state = kNotLoaded;
}

} // namespace orvex
