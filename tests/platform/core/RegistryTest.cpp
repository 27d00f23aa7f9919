#include "platform/core/Registry.h"

#include <gtest/gtest.h>

#include "support/TempFolder.h"

namespace {

TEST(Registry, ValuesSurviveReopeningAndKeyPathsIgnoreCase) {
    TempFolder tmp;
    ScopedRegistryFile env(tmp / "sub/registry.ini");
    EXPECT_EQ(plat::GetRegistryFile(), tmp / "sub/registry.ini");
    {
        plat::RegistryKey key;
        ASSERT_TRUE(key.Open("software\\Microsoft\\Direct3D"));
        u32 v = 7;
        EXPECT_FALSE(key.QueryDword("DisablePSGP", v));
        EXPECT_EQ(v, 7u);
        ASSERT_TRUE(key.SetDword("DisablePSGP", 1));
        ASSERT_TRUE(key.SetDword("Big", 0xFFFFFFFFu));
        key.Flush();
        key.Close();
        EXPECT_FALSE(key.SetDword("DisablePSGP", 2));  // closed
    }
    plat::RegistryKey key;
    ASSERT_TRUE(key.Open("SOFTWARE/microsoft/direct3d"));
    u32 v = 0;
    EXPECT_TRUE(key.QueryDword("disablepsgp", v));
    EXPECT_EQ(v, 1u);
    EXPECT_TRUE(key.QueryDword("Big", v));
    EXPECT_EQ(v, 0xFFFFFFFFu);

    plat::RegistryKey other;
    ASSERT_TRUE(other.Open("software\\Other"));
    EXPECT_FALSE(other.QueryDword("DisablePSGP", v));
}

TEST(Registry, TextThatIsNotANumberIsNoValue) {
    TempFolder tmp;
    ScopedRegistryFile env(tmp / "registry.ini");
    ASSERT_TRUE(tmp.Write("registry.ini", "[k]\na=abc\nb=-1\nc=4294967296\nd=12x\ne=5\n"));
    plat::RegistryKey key;
    ASSERT_TRUE(key.Open("k"));
    u32 v = 0;
    for (const char* name : {"a", "b", "c", "d"}) EXPECT_FALSE(key.QueryDword(name, v)) << name;
    EXPECT_TRUE(key.QueryDword("e", v));
    EXPECT_EQ(v, 5u);
}

}  // namespace
