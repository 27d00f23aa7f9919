#include "app/scene/SelectInterface.h"

#include <cmath>
#include <cstdio>

#include "app/core/Application.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "platform/gfx/Font.h"
#include "platform/math/Math.h"

TCB_SelectInterface::~TCB_SelectInterface()
{
    delete[] pictures;
    delete[] labels;
}

void TCB_SelectInterface::Move(i32 delta)
{
    if (count <= 0) return;
    target = static_cast<i32>((static_cast<i64>(target) + delta) % count);
    if (target < 0) target += count;
}

TCB_SelectInterface* TCB_SelectInterface::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<TCB_SelectInterface>(list, priority);
}

void TCB_SelectInterface::Setup(i32 n, i32 top, i32 width, i32 height, i32 selected, f32 shown)
{
    delete[] pictures;
    delete[] labels;
    pictures = nullptr;
    labels = nullptr;
    count = n > 0 ? n : 0;
    if (count > 0) {
        pictures = new TextureHandle*[size_t(count)]();
        labels = new std::string[size_t(count)];
    }
    y = top;
    cellWidth = width;
    cellHeight = height;
    target = selected;
    position = shown;
}

f32 StepRingPosition(f32 position, i32 target, i32 n)
{
    if (n <= 0) return position;
    const f32 t = static_cast<f32>(target);
    const f32 half = static_cast<f32>(n) * 0.5f;
    if (position == t) return position;
    // Distance the short way round the ring.
    f32 d = position < t ? t - position : position - t;
    if (d >= half) d -= static_cast<f32>(n);
    if (std::fabs(d) < 0.001f) {
        position = t;
    } else if (position < t) {
        position += d * 0.1f;
    } else {
        position -= d * 0.1f;
    }
    while (position < 0.0f) position += static_cast<f32>(n);
    while (position >= static_cast<f32>(n)) position -= static_cast<f32>(n);
    return position;
}

i32 TCB_SelectInterface::Proc()
{
    if (active) position = StepRingPosition(position, target, count);
    return kTaskKeep;
}

void TCB_SelectInterface::DrawSP()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!visible || count <= 0 || cellWidth <= 0 || !gd->sprite) return;
    const CApplication* app = GetApplication();
    Mat4 screen;
    plat::MatrixScaling(&screen, app->video.screenScaleX, app->video.screenScaleY, 1.0f);
    plat::Font* font = gd->fonts[1];

    const i32 half = (1024 / cellWidth + 2) / 2;
    const i32 p = static_cast<i32>(position);
    const f32 frac = static_cast<f32>(p) - position;
    for (i32 k = -half; k <= half + 1; ++k) {
        i32 e = (p % count + k) % count;
        if (e < 0) e += count;
        plat::MatrixTranslation(&transform,
                                static_cast<f32>(cellWidth) * frac + 512.0f - static_cast<f32>(cellWidth / 2) +
                                    static_cast<f32>(cellWidth * k),
                                static_cast<f32>(y), 0.0f);
        plat::MatrixMultiply(&transform, &transform, &screen);
        gd->sprite->SetTransform(transform);
        const plat::GfxRect cell{0, 0, cellWidth, cellHeight};
        if (pictures && pictures[e] && pictures[e]->texture)
            gd->sprite->Draw(pictures[e]->texture, &cell, nullptr, nullptr, 0xFFFFFFFFu);
        if (showIndex) {
            char index[16];
            std::snprintf(index, sizeof index, "%d", e);
            const plat::GfxRect at{0, -24, 100, 100};
            GetTextureCache()->DrawText(font, index, -1, &at, 0, 0xFFFFFFFFu, 60, 0, 0);
        }
        if (labels && !labels[e].empty()) {
            const u32 centred = plat::TextCenter | plat::TextVCenter;
            const plat::GfxRect shadow{1, 1, 320, 240}, face{0, 0, 319, 239};
            GetTextureCache()->DrawText(font, labels[e].c_str(), -1, &shadow, centred, 0xFF000000u, 60, 0, 0);
            GetTextureCache()->DrawText(font, labels[e].c_str(), -1, &face, centred, 0xFFFFFFFFu, 60, 0, 0);
        }
    }
}
