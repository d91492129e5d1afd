#pragma once
// The program's file version as text: "1.2" (short) for the window title,
// "1.2.3.4" (long) for the about box, "Unknown" without version information.
// The version block stands in for the program file's version resource; it is built
// from the version CMake gives the project and read once per run.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvex {

// Module selectors: the module holding this code, the program file, automatic.
// Every one names the program file here.
constexpr uint8_t kVersionOfModule = 0;
constexpr uint8_t kVersionOfProgram = 1;
constexpr uint8_t kVersionAutomatic = 2;

// Fills buffer with the version block of the selected file; false and an empty
// buffer when it has none.
bool LoadVersionInfo(std::vector<uint8_t>& buffer, uint8_t selector);

// The cached block: loaded once, again only when the selector changes; empty when
// the file has no version information.
void GetVersionInfoCached(uint8_t selector, std::vector<uint8_t>& buffer);

// Reads the fixed file version out of a block; false for a block that holds none.
bool QueryFileVersion(const std::vector<uint8_t>& block, uint32_t& versionMS, uint32_t& versionLS);

// "major.minor" (shortForm) or "major.minor.release.build", else "Unknown".
std::u16string GetVersionString(bool shortForm, uint8_t selector = kVersionAutomatic);

// The block layout: signature FEEF04BD, structure version, file version (most and
// least significant halves), product version (both halves); six little-endian
// 32-bit words.
std::vector<uint8_t> MakeVersionBlock(uint32_t fileMS, uint32_t fileLS, uint32_t productMS, uint32_t productLS);

// Replaces the reader of a file's version block (given the file's name) and
// empties the cache; an empty function restores the built-in one.
using TVersionBlockReader = std::function<std::vector<uint8_t>(const std::u16string& fileName)>;
void SetVersionBlockReaderForTesting(TVersionBlockReader reader);

} // namespace orvex
