#include "battle/BattleObject.h"

#include <gtest/gtest.h>

TEST(BattleObjectTest, BaseDefaultsAndTranslation)
{
    BB_Base base;
    EXPECT_EQ(base.Removed, 0);
    EXPECT_EQ(base.Run(), 0);
    EXPECT_EQ(base.GetKind(), kKindBase);
    ASSERT_NE(base.GetMatrix(), nullptr);
    EXPECT_EQ(*base.GetMatrix(), Mat4::Identity());

    Mat4 m;
    const Vec3 zero;
    EXPECT_EQ(AddMatrixTranslation(&m, &zero), &m);
    EXPECT_EQ(m, Mat4::Identity());
    const Vec3 v(1.5f, -2, 3);
    AddMatrixTranslation(&m, &v);
    AddMatrixTranslation(&m, &v);
    EXPECT_EQ(m.m[3][0], 3.0f);
    EXPECT_EQ(m.m[3][1], -4.0f);
    EXPECT_EQ(m.m[3][2], 6.0f);
    EXPECT_EQ(m.m[0][0], 1.0f);

    BB_Standard b;
    EXPECT_EQ(b.GetKind(), kKindBillboard);
    EXPECT_EQ(b.GetMatrix(), &b.World);
    EXPECT_EQ(b.GetTargetMatrix(), &b.World);
    EXPECT_EQ(b.Quad.columns, 1);
    EXPECT_EQ(b.Quad.rows, 1);
    EXPECT_EQ(b.Quad.cellCount, 1u);
    EXPECT_EQ(b.Quad.texture, nullptr);
    EXPECT_EQ(Mat4(b.World), Mat4::Identity());
}
