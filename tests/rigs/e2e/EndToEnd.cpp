#include "tests/rigs/e2e/EndToEnd.h"

namespace agent_e2e {

std::wstring Tip(UINT first, UINT second, LANGID language) {
    std::wstring tip = e2e::AgentString(first, language);
    if (second != 0) tip += L" " + e2e::AgentString(second, language);
    return tip;
}

void EndToEnd::SetUp() {
    ASSERT_TRUE(names_.held());
    ASSERT_TRUE(RemoveService()) << "a \"Vandrel Service\" left by an earlier run cannot be removed";
    ASSERT_TRUE(agent_.Prepare({/*configurationProgram=*/true, /*tray=*/true}));
}

}  // namespace agent_e2e
