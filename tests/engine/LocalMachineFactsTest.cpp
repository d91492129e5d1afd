#include "engine/LocalMachineFacts.h"

#include "BackupFixture.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

using Texts = std::vector<std::u16string>;

class LocalMachineFactsTest : public test::TBackupFixture {};

TEST_F(LocalMachineFactsTest, AddressesInResolverOrder) {
    struct Row {
        Texts Addresses, Expected;
    };
    const Row rows[] = {
        {{u"192.168.10.5", u"10.0.0.20", u"192.168.10.5"}, {u"192.168.10.5", u"10.0.0.20", u"192.168.10.5"}},
        {{}, {}},
        {{u"10.1.2.3", u"not an address"}, {u"10.1.2.3"}},
    };
    for (const auto& row : rows) {
        MakeMachine(u"localhost", [&](TMachineState& state) { state.Facts.IPv4Addresses = row.Addresses; });
        Texts list = {u"stale"};
        GetLocalIPAddresses(list);
        EXPECT_EQ(list, row.Expected);
    }
    EXPECT_TRUE(Sink.Lines.empty());
}

TEST_F(LocalMachineFactsTest, UnresolvableHostGivesNoAddresses) {
    // A host name too long for the 64-byte buffer cannot be looked up.
    MakeMachine(u"localhost", [](TMachineState& state) { state.Facts.ComputerName = std::u16string(80, u'h'); });
    Texts list = {u"stale"};
    GetLocalIPAddresses(list);
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(Sink.Lines.empty());
}

TEST_F(LocalMachineFactsTest, IisVersion) {
    MakeMachine(u"localhost", [](TMachineState&) {});
    EXPECT_EQ(GetIISMajorVersion(), 6);
    EXPECT_FALSE(BackupErrorFlag());
    MakeMachine(u"localhost", [](TMachineState& state) {
        for (auto& value : state.Facts.Registry)
            if (value.Name == u"MajorVersion") value.Value = TOleVariant(int32_t(7));
    });
    EXPECT_EQ(GetIISMajorVersion(), 7);
    EXPECT_TRUE(Sink.Lines.empty());
}

} // namespace
} // namespace orvex
