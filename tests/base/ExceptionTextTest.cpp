#include "base/ExceptionText.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace orvex {
namespace {

TEST(ExceptionTextTest, TextOfAnyException) {
    // The UTF-16 message is given back as it was raised, lone surrogates included.
    const std::u16string lone = u"bad \xD800 name";
    EXPECT_EQ(ExceptionMessage(ETextError(lone)), lone);
    EXPECT_EQ(ExceptionMessage(ETextError(u"Fichier \u00e9crit")), u"Fichier \u00e9crit");
    EXPECT_STREQ(ETextError(u"Fichier \u00e9crit").what(), "Fichier \xC3\xA9"
                                                           "crit");
    EXPECT_EQ(ExceptionMessage(std::runtime_error("Missing close tag in element \xE6\xB1\x89")),
              u"Missing close tag in element \u6C49");
    EXPECT_EQ(ExceptionMessage(std::bad_alloc()), u"std::bad_alloc");
}

} // namespace
} // namespace orvex
