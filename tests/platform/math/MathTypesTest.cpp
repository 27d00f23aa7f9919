#include "platform/math/MathTypes.h"
#include "platform/core/Types.h"
#include <gtest/gtest.h>

// Records written field by field rely on these widths and layouts.
TEST(MathTypes, LayoutsMatchTheirFileAndShaderSizes)
{
    static_assert(sizeof(u32) == 4 && sizeof(f32) == 4 && sizeof(u64) == 8);
    EXPECT_EQ(sizeof(Vec3), 12u);
    EXPECT_EQ(sizeof(Quat), 16u);
    EXPECT_EQ(sizeof(Mat4), 64u);
    Mat4 m;
    EXPECT_EQ(m, Mat4::Identity());
    EXPECT_EQ(Quat().w, 1.0f);
}
