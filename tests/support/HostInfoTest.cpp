#include "support/HostInfo.h"

#include "base/Module.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace orvex;

TEST(HostInfo, StripLongPathPrefix) {
    struct TCase {
        std::u16string_view path, expected;
    };
    const TCase cases[] = {
        {u"\\\\?\\C:\\x", u"C:\\x"},
        {u"\\\\?\\UNC\\server\\share", u"\\\\server\\share"},
        {u"\\\\?\\unc\\server\\share", u"\\\\server\\share"},
        {u"\\\\server\\share", u"\\\\server\\share"},
        {u"C:\\x", u"C:\\x"},
        {u"/usr/bin/orvex", u"/usr/bin/orvex"},
        {u"\\\\?\\", u""},
        {u"", u""},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(StripLongPathPrefix(c.path), c.expected);
}

TEST(HostInfo, ModuleComputerAndProcess) {
    EXPECT_EQ(GetModuleFileNameNormalized(), ModuleFileName());
    EXPECT_NE(GetModuleFileNameStr().find(u"orvex_support_tests"), std::u16string::npos);
    EXPECT_EQ(GetCurrentProcessIdValue(), static_cast<uint32_t>(getpid()));
    const std::u16string name = GetComputerNameString();
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name.find(u'.'), std::u16string::npos);
}
