#include "engine/EngineText.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

TEST(EngineTextTest, CaseFoldedKeys) {
    EXPECT_EQ(CaseFoldedKey(u"ServerBindings"), CaseFoldedKey(u"SERVERBINDINGS"));
    EXPECT_EQ(CaseFoldedKey(u"\u00c9tat"), CaseFoldedKey(u"\u00e9TAT"));
    EXPECT_NE(CaseFoldedKey(u"a"), CaseFoldedKey(u"b"));
    EXPECT_EQ(CaseFoldedKey(u"\U00010400"), CaseFoldedKey(u"\U00010428"));  // Deseret, beyond the BMP
    EXPECT_EQ(CaseFoldedKey(std::u16string(1, u'\xD800')), std::u16string(1, u'\xD800'));
}

} // namespace
} // namespace orvex
