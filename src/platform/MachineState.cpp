#include "platform/MachineState.h"

namespace orvex {

std::vector<TPop3AuthMethod> StandardPop3AuthMethods() {
    return {
        {u"Local Windows Accounts", u"{14F1665C-E3D3-46AA-884F-ED4CF19D7AD5}"},
        {u"Active Directory Integrated", u"{EF9D811E-36C5-497F-ADE7-2B36DF172824}"},
        {u"Encrypted Password File", u"{2A4A1B9F-2F3E-4C1A-9C65-8F7D0C8B3E21}"},
    };
}

TMachineState TMachineState::Clone() const {
    TMachineState copy;
    copy.Facts = Facts;
    if (Metabase)
        copy.Metabase = Metabase->Clone();
    if (Pop3)
        copy.Pop3 = std::make_unique<TPop3State>(*Pop3);
    return copy;
}

} // namespace orvex
