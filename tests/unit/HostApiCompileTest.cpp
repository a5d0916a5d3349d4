#include <gtest/gtest.h>

#include <cstddef>

#include "AE_Host.h"

extern "C" size_t cuebridge_hostapi_layout_c(int which);

namespace {

TEST(HostApi, CAndCppAgreeOnLayout) {
    const size_t cpp[] = {
        sizeof(SPBasicSuite),
        offsetof(AEGP_ItemSuite9, AEGP_GetItemType),
        offsetof(AEGP_ProjSuite5, AEGP_GetProjectByIndex),
        offsetof(AEGP_UtilitySuite6, AEGP_ExecuteScript),
        offsetof(PF_OutData, return_msg),
        offsetof(PF_InData, utils),
        sizeof(DRAWBOT_Suites),
        offsetof(PF_Pixel, blue),
    };
    for (int i = 0; i < static_cast<int>(std::size(cpp)); ++i)
        EXPECT_EQ(cuebridge_hostapi_layout_c(i), cpp[i]) << "entry " << i;
}

TEST(HostApi, PositionalEntriesSitWhereTheUtilitiesReadThem) {
    constexpr size_t kEntry = sizeof(void (*)());
    EXPECT_EQ(offsetof(AEGP_ProjSuite5, AEGP_GetProjectByIndex), 1 * kEntry);  // second
    EXPECT_EQ(offsetof(AEGP_ItemSuite8, AEGP_GetFirstProjItem), 0 * kEntry);   // first
    EXPECT_EQ(offsetof(AEGP_ItemSuite6, AEGP_GetNextProjItem), 1 * kEntry);    // second
    EXPECT_EQ(offsetof(AEGP_ItemSuite6, AEGP_GetItemType), 5 * kEntry);        // sixth
    EXPECT_EQ(offsetof(AEGP_CompSuite4, AEGP_GetCompFromItem), 0 * kEntry);    // first
    EXPECT_EQ(offsetof(AEGP_LayerSuite5, AEGP_GetCompLayerByIndex), 1 * kEntry);
    EXPECT_EQ(offsetof(PF_Pixel, alpha), 0u);  // alpha first, then red, green, blue
    EXPECT_EQ(offsetof(PF_Pixel, blue), 3u);
}

}  // namespace
