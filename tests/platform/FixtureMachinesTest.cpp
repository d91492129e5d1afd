// The fixture machines in tests/data/machines load and answer as described there.

#include "platform/Pop3Admin.h"

#include "MachineTestSupport.h"

using namespace orvex;
using namespace orvex::testing;

namespace {

class FixtureMachines : public TMachinesFolderTest {
protected:
    void SetUp() override {
        TMachinesFolderTest::SetUp();
        std::filesystem::copy(std::filesystem::path(ORVEX_TEST_DATA) / "machines", Folder(),
                              std::filesystem::copy_options::recursive);
    }
};

} // namespace

TEST_F(FixtureMachines, Web2HasItsOwnSites) {
    EXPECT_EQ(Bind(u"IIS://web2/W3SVC/3").Call(u"Get", u"ServerComment").AsText(), u"Shop");
    EXPECT_EQ(Bind(u"IIS://web2/W3SVC/3").Call(u"Get", u"ServerBindings")[1].AsText(), u":8080:");
    EXPECT_EQ(ErrorOf([] { Bind(u"IIS://web2/W3SVC/2"); }), hr::PathNotFound);
    EXPECT_EQ(ErrorOf([] { CreateP3Config().SetProperty(u"MachineName", u"WEB2"); }), hr::IoPending);
}

TEST_F(FixtureMachines, Iis7HostHasNoMetabase) {
    EXPECT_EQ(ErrorOf([] { Bind(u"IIS://IIS7HOST/W3SVC"); }), hr::MkSyntax);
    EXPECT_EQ(ErrorOf([] { Bind(u"IIS://IIS7HOST/Schema/IIsWebServer"); }), hr::MkSyntax);
}
