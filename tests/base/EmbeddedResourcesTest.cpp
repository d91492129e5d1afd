#include "base/EmbeddedResources.h"

#include <gtest/gtest.h>

using namespace orvex;

TEST(EmbeddedResources, UnknownNameIsAbsent) {
    EXPECT_FALSE(FindEmbeddedResource(u"NoSuchResource").has_value());
    EXPECT_FALSE(FindEmbeddedResource(u"").has_value());
}
