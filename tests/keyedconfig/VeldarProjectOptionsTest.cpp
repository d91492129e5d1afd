#include "keyedconfig/VeldarProjectOptions.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

TEST(VeldarProjectOptionsTest, TopOwnerFollowsTheChain) {
    TComponent app(nullptr, u"Application");
    TComponent form(&app, u"MainForm");
    TComponent map(&form, u"KeyMap");
    TComponent alone;
    EXPECT_EQ(TopOwner(&map), &app);
    EXPECT_EQ(TopOwner(&form), &app);
    EXPECT_EQ(TopOwner(&app), &app);
    EXPECT_EQ(TopOwner(&alone), &alone);
    EXPECT_EQ(TopOwner(nullptr), nullptr);
}

TEST(VeldarProjectOptionsTest, CyclicChainStops) {
    struct TLoop : TComponent {
        TLoop() : TComponent(this) {}
    } loop;
    EXPECT_EQ(TopOwner(&loop), &loop);
}

} // namespace
} // namespace orvex
