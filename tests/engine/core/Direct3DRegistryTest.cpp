#include "engine/core/Direct3DRegistry.h"

#include <gtest/gtest.h>

#include "platform/core/Registry.h"
#include "support/TempFolder.h"

namespace {

const char* kKey = "software\\Microsoft\\Direct3D";

bool Query(const char* name, u32& value) {
    plat::RegistryKey key;
    return key.Open(kKey) && key.QueryDword(name, value);
}

void Set(const char* name, u32 value) {
    plat::RegistryKey key;
    ASSERT_TRUE(key.Open(kKey));
    ASSERT_TRUE(key.SetDword(name, value));
}

TEST(Direct3DRegistry, DisableSetsBothValuesAndRestorePutsThemBack) {
    TempFolder tmp;
    ScopedRegistryFile env(tmp / "registry.ini");
    DisablePSGP();
    u32 a = 0, b = 0;
    ASSERT_TRUE(Query("DisablePSGP", a));
    ASSERT_TRUE(Query("DisableD3DXPSGP", b));
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 1u);

    RestorePSGP();
    ASSERT_TRUE(Query("DisablePSGP", a));
    ASSERT_TRUE(Query("DisableD3DXPSGP", b));
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(b, 0u);
}

TEST(Direct3DRegistry, ValuesSetByOthersAreLeftAlone) {
    TempFolder tmp;
    ScopedRegistryFile env(tmp / "registry.ini");
    Set("DisablePSGP", 2);
    DisablePSGP();
    RestorePSGP();
    u32 a = 0, b = 9;
    ASSERT_TRUE(Query("DisablePSGP", a));
    EXPECT_EQ(a, 2u);
    ASSERT_TRUE(Query("DisableD3DXPSGP", b));
    EXPECT_EQ(b, 0u);

    // Restoring without a prior disable creates nothing.
    TempFolder fresh;
    ScopedRegistryFile env2(fresh / "quillon/registry.ini");
    RestorePSGP();
    EXPECT_FALSE(Query("DisablePSGP", a));
    EXPECT_FALSE(plat::PathExists((fresh / "quillon").c_str()));
}

}  // namespace
