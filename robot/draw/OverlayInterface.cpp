// The watched robot's cockpit overlay, its lock-on marker and the name plates
// over other robots, all drawn in the battle's sprite pass.
#include <cstdio>
#include <cstring>

#include "app/core/Application.h"
#include "app/player/PilotRegistry.h"
#include "app/scene/DigitDraw.h"
#include "app/scene/SceneDevice.h"
#include "battle/GameScene.h"
#include "engine/core/VectorFunctions.h"
#include "engine/graphics/GraphicsDevice.h"
#include "engine/graphics/TextureCache.h"
#include "platform/math/DetMath.h"
#include "platform/math/Math.h"
#include "robot/Robot.h"
#include "robot/draw/Overlay.h"

namespace {

enum HudPicture : i32 {
    kLock2 = 1, kEnergyFrame = 2, kBoostFrame = 3, kHpFrame = 4, kLock = 6, kArrowLeft = 11, kArrowUp = 12,
    kArrowRight = 13, kArrowDown = 14, kEnergyBar = 15, kPanel = 17, kChargeBar = 21, kChargeFrame = 22,
    kChargeHold = 23, kThreat = 24, kBoostBar = 25, kPilotWindow = 26, kWeaponFrame = 27, kWeaponBar = 28,
};

constexpr u32 kWhite = 0xFFFFFFFFu;

Vec3 Translation(const Mat4& m) { return {m.m[3][0], m.m[3][1], m.m[3][2]}; }
Mat4 Mul(const Mat4& a, const Mat4& b)
{
    Mat4 out;
    plat::MatrixMultiply(&out, &a, &b);
    return out;
}
Mat4 Move(f32 x, f32 y)
{
    Mat4 m;
    plat::MatrixTranslation(&m, x, y, 0.0f);
    return m;
}
Mat4 Scale(f32 x, f32 y)
{
    Mat4 m;
    plat::MatrixScaling(&m, x, y, 1.0f);
    return m;
}

// One frame's drawing context: the sprite, where the layout lands (the view
// being drawn) and the scene's picture table.
struct Hud {
    GraphicsDevice* gd = GetGraphicsDevice();
    CApplication& app = *GetApplication();
    CGameScene* scene = FindGameScene();
    LayoutPlacement at = CurrentLayout();

    bool Ready() const
    {
        return scene && gd->sprite && gd->sprite->IsBegun() && scene->interfaceTextures.IsCreated();
    }
    // Sizes of things drawn at a robot's window position follow the view.
    Mat4 LayoutScale() const { return Scale(at.scaleX, at.scaleY); }
    Mat4 ToScreen() const { return Mul(LayoutScale(), Move(at.x, at.y)); }
    // Own offset and scale, then (x, y) in layout space, then into the view.
    Mat4 Layout(f32 x, f32 y, f32 offsetX = 0.0f, f32 offsetY = 0.0f, f32 scale = 1.0f) const
    {
        return Mul(Mul(Mul(Move(offsetX, offsetY), Scale(scale, scale)), Move(x, y)), ToScreen());
    }
    f32 ScreenX(f32 x) const { return x * at.scaleX + at.x; }
    f32 ScreenY(f32 y) const { return y * at.scaleY + at.y; }
    TextureHandle& Picture(i32 n) const { return scene->interfaceTextures[n]; }
    void Draw(plat::GfxTexture* texture, const plat::GfxRect* source, const Mat4& m, u32 colour) const
    {
        if (!texture) return;
        gd->sprite->SetTransform(m);
        gd->sprite->Draw(texture, source, nullptr, nullptr, colour);
    }
    void Draw(i32 picture, const plat::GfxRect* source, const Mat4& m, u32 colour) const
    {
        Draw(Picture(picture).texture, source, m, colour);
    }
    // A picture whose own rectangle is cut to a share of its width: from the
    // left edge (the bar empties toward its left end) or from the right.
    void DrawBar(i32 picture, f32 x, f32 y, f32 share, bool emptiesToLeft, u32 colour) const
    {
        const TextureHandle& t = Picture(picture);
        plat::GfxRect r = t.sourceRect;
        if (emptiesToLeft) {
            r.right = static_cast<i32>(static_cast<f32>(r.right) * share);
            Draw(t.texture, &r, Layout(x, y), colour);
        } else {
            const i32 o = static_cast<i32>(static_cast<f32>(r.Width()) * (1.0f - share));
            r.left += o;
            Draw(t.texture, &r, Layout(x + static_cast<f32>(o), y), colour);
        }
    }
    void Text(i32 font, const char* text, const plat::GfxRect& rect, const Mat4& m, u32 colour) const
    {
        plat::Font* f = gd->fonts[font];
        if (!f) return;
        gd->sprite->SetTransform(m);
        GetTextureCache()->DrawText(f, text, -1, &rect, 0, colour, 60, 0, 0);
    }
    // A filled rectangle in window pixels from the one-texel dot picture.
    void Fill(f32 x, f32 y, f32 w, f32 h, u32 colour) const
    {
        const TextureHandle& dot = app.sharedTextures[0];
        if (!dot.texture || dot.sourceRect.Width() <= 0 || dot.sourceRect.Height() <= 0) return;
        const Mat4 m = Mul(Mul(Scale(w / static_cast<f32>(dot.sourceRect.Width()),
                                     h / static_cast<f32>(dot.sourceRect.Height())),
                               LayoutScale()),
                           Move(x, y));
        Draw(dot.texture, &dot.sourceRect, m, colour);
    }
};

// 0..1 of a gauge; a zero or negative maximum is an empty gauge.
f32 Share(f32 value, f32 max) { return CRobot_Base::GaugeFraction(value, max); }

u32 ColourByte(f32 c)
{
    if (c >= 1.0f) return 255u;
    if (c <= 0.0f) return 0u;
    return static_cast<u32>(c * 255.0f + 0.5f);
}

// The HP bar, charge bar and pilot face over a robot at (x, y) window pixels.
void DrawUnitBars(const Hud& hud, CRobot_Base* unit, f32 x, f32 y, bool withCharge)
{
    hud.Fill(x - 16.0f, y - 40.0f, 100.0f, 4.0f, 0xFFFF0000u);
    hud.Fill(x - 16.0f, y - 40.0f, unit->HpFraction() * 100.0f, 4.0f, 0xFF00FF00u);
    if (withCharge && unit->GetKind() == kKindRobot) {
        const auto* robot = static_cast<CRobot_Normal*>(unit);
        hud.Fill(x - 16.0f, y - 36.0f, 100.0f, 4.0f, 0xFF481200u);
        hud.Fill(x - 16.0f, y - 36.0f, Share(static_cast<f32>(robot->chargeGauge), 10000.0f) * 100.0f, 4.0f,
                 0xFFFF531Au);
    }
    if (unit->pilotIndex >= 0 && unit->pilotIndex < MaxPilots) {
        TextureHandle& face = GetPilotRegistry()->slots[unit->pilotIndex].pictures[0];
        const plat::GfxRect source{0, 0, 200, 150};
        const Mat4 m = Mul(Mul(Mul(Scale(0.2f, 0.2f), Move(-40.0f, -30.0f)), hud.LayoutScale()),
                           Move(x - 16.0f, y - 40.0f));
        hud.Draw(face.texture, &source, m, kWhite);
    }
}

// A name with its shadow a pixel down and right, at (x - 16, y - 55).
void DrawNamePlate(const Hud& hud, const char* name, f32 x, f32 y, u32 colour, bool rectOnly)
{
    plat::Font* font = hud.gd->fonts[0];
    if (!font) return;
    const plat::GfxRect rect{0, 0, 256, 12};
    hud.gd->sprite->SetTransform(Move(x - 15.0f, y - 54.0f));
    if (rectOnly)
        GetTextureCache()->DrawTextRect(font, name, -1, &rect, 0, 0xFF000000u, 60, 0);
    else
        GetTextureCache()->DrawText(font, name, -1, &rect, 0, 0xFF000000u, 60, 0, 0);
    hud.gd->sprite->SetTransform(Move(x - 16.0f, y - 55.0f));
    if (rectOnly)
        GetTextureCache()->DrawTextRect(font, name, -1, &rect, 0, colour, 60, 0);
    else
        GetTextureCache()->DrawText(font, name, -1, &rect, 0, colour, 60, 0, 0);
}

}  // namespace

u32 SlowBlinkAlpha(u32 frame)
{
    return static_cast<u32>(plat::DetSin(static_cast<f32>(frame * 5u) * 0.017453f) * 0.5f * 128.0f + 191.0f);
}

u32 FastBlinkAlpha(u32 frame)
{
    return static_cast<u32>(plat::DetSin(static_cast<f32>(frame * 20u) * 0.017453f) * 0.5f * 128.0f + 191.0f);
}

u32 LowHpColour(u32 frame)
{
    const f32 t = (plat::DetSin(static_cast<f32>((frame * 50u) % 360u) * 0.017453f) + 1.0f) * 0.5f;
    // Red (1, 0, 0) to white (1, 1, 1); alpha 200/255 throughout.
    const f32 r = 1.0f, g = t, b = t, a = 200.0f / 255.0f;
    return ColourByte(a) << 24 | ColourByte(r) << 16 | ColourByte(g) << 8 | ColourByte(b);
}

u32 ThreatColour(u8 kind)
{
    static constexpr u32 kColours[5] = {0xFFFF00u, 0xFF0000u, 0xF36FEBu, 0xFFFFFFu, 0x4769CDu};
    return kind < 5 ? kColours[kind] : 0u;
}

ThreatPlacement PlaceThreat(const Mat4& camera, const Vec3& source, u8 kind)
{
    ThreatPlacement p;
    const Vec3 d = source - Translation(camera);
    p.distance = plat::Vec3Length(&d);
    Mat4 inverse;
    plat::MatrixInverse(&inverse, nullptr, &camera);
    Vec3 v;
    plat::Vec3TransformNormal(&v, &d, &inverse);
    v.z = 0.0f;
    if (plat::Vec3LengthSq(&v) > 0.0f) plat::Vec3Normalize(&v, &v);
    const f32 x = v.x < -1.0f ? -1.0f : (v.x > 1.0f ? 1.0f : v.x);
    f32 a = plat::DetAsin(x) * 57.2957763671875f;
    if (v.y < 0.0f) a = a > 0.0f ? 180.0f - a : (a < 0.0f ? -180.0f - a : 180.0f);
    p.bearing = a;
    const i32 cap = kind <= 1 ? 300 : 250;
    // Saturated before the conversion: a weapon flung far away (or lost to a
    // non-finite position) is only far.
    const f32 scaled = p.distance * 20.0f;
    p.radius = scaled < static_cast<f32>(cap) ? static_cast<i32>(scaled) : cap;
    return p;
}

void DrawDistanceText(const Mat4& transform, f32 distance, u32 wholeColour, u32 charColour)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::Font* font = gd->fonts[0];
    if (!font || !gd->sprite) return;
    const plat::GfxRect rect{0, 0, 200, 100};
    DrawDistanceTextIn(transform, rect, distance, wholeColour, charColour);
}

void DrawDistanceTextIn(const Mat4& transform, const plat::GfxRect& rect, f32 distance, u32 wholeColour,
                        u32 charColour)
{
    GraphicsDevice* gd = GetGraphicsDevice();
    plat::Font* font = gd->fonts[0];
    if (!font || !gd->sprite) return;
    char text[64];
    if (!GetApplication()->video.fastFont) {
        std::snprintf(text, sizeof text, "%.2fm", static_cast<double>(distance * 10.0f));
        gd->sprite->SetTransform(transform);
        GetTextureCache()->DrawText(font, text, -1, &rect, 0, wholeColour, 60, 0, 0);
        return;
    }
    // One cached texture per character: a whole-number entry would be
    // rendered anew for every distance the marker passes through.
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(distance * 10.0f));
    Mat4 m = transform;
    char one[2] = {0, 0};
    for (const char* c = text;; ++c) {
        one[0] = *c ? *c : 'm';
        gd->sprite->SetTransform(m);
        TextCacheEntry* e = GetTextureCache()->DrawText(font, one, -1, &rect, 0, charColour, 0xFFFFFFFFu, 1, 0);
        if (!*c) break;
        m = Mul(Move(static_cast<f32>(e ? e->renderedWidth : 0), 0.0f), m);
    }
}

void CRobot_Normal::DrawInterface()
{
    Hud hud;
    if (!hud.Ready()) return;
    const u32 n = hud.scene->battleFrame;
    const u32 frameTint = hitImmunity ? 0xFFFFFF3Cu : kWhite;

    DrawLockOn();

    if (tacticalRules == 1 && !lockTarget) {
        hud.Draw(kLock2, nullptr, hud.Layout(512.0f, 384.0f, -32.0f, -32.0f, 0.5f), 0xFF00FF00u);
        hud.gd->sprite->Flush();
        hud.gd->DrawLine2DGradient(hud.ScreenX(502.0f), hud.ScreenY(384.0f), hud.ScreenX(522.0f), hud.ScreenY(384.0f),
                                   0xFF00FF00u, 0xFF00FF00u);
        hud.gd->DrawLine2DGradient(hud.ScreenX(512.0f), hud.ScreenY(374.0f), hud.ScreenX(512.0f), hud.ScreenY(394.0f),
                                   0xFF00FF00u, 0xFF00FF00u);
    }

    // Warning arrows: yellow while a robot locks on, red while it shoots.
    for (i32 side = 0; side < 4; ++side) {
        const u8 flag = statusFlags[side];
        if (!flag) continue;
        u32 colour;
        if (flag == 1) {
            if (tacticalRules != 0) continue;
            colour = SlowBlinkAlpha(n) << 24 | 0xFFFF00u;
        } else {
            colour = FastBlinkAlpha(n) << 24 | 0xFF0000u;
        }
        const TextureHandle& t = hud.Picture(kArrowLeft + side);
        const u32 w = static_cast<u32>(t.sourceRect.Width()), h = static_cast<u32>(t.sourceRect.Height());
        const f32 hw = static_cast<f32>(w / 2u), hh = static_cast<f32>(h / 2u);
        const f32 x[4] = {-16.0f, 512.0f - hw, 1024.0f - static_cast<f32>(w) + 16.0f, 512.0f - hw};
        const f32 y[4] = {384.0f - hh, -16.0f, 384.0f - hh, 768.0f - static_cast<f32>(h) + 16.0f};
        hud.Draw(t.texture, nullptr, hud.Layout(x[side], y[side]), colour);
    }

    // Threat markers around the screen centre, pointing where the threat is.
    // The view mode F6 steps: 0 every marker, 1 robot locks only, 2 none.
    const i32 level = hud.app.video.viewMode;
    if (level != 2) {
        const plat::GfxRect arrow{0, 0, 32, 64};
        for (LockAlertNode* a = lockAlertList.GetHead()->next; a && a != lockAlertList.GetTail(); a = a->next) {
            if (!a->source) continue;
            const Mat4* at = a->source->GetTargetMatrix();
            if (!at) continue;
            const bool robotLock = a->kind <= 1;
            const bool shown = robotLock ? tacticalRules == 0 && (level == 0 || level == 1)
                                         : a->kind <= 4 && level == 0;
            if (!shown) continue;
            const ThreatPlacement p = PlaceThreat(hud.scene->camera.world, Translation(*at), a->kind);
            Mat4 turn;
            plat::MatrixRotationZ(&turn, p.bearing * 0.017453f);
            const Mat4 m = Mul(Mul(Mul(Move(-16.0f, static_cast<f32>(-p.radius)), turn), Move(512.0f, 384.0f)),
                               hud.ToScreen());
            const u32 alpha = a->kind == 0 ? SlowBlinkAlpha(n) : FastBlinkAlpha(n);
            hud.Draw(kThreat, &arrow, m, alpha << 24 | ThreatColour(a->kind));
            Mat4 text = m;
            MatrixNormalizeAxes(&text);
            u32 colour = 0xC8FFFF00u;
            if (!robotLock) colour = p.distance >= 20.0f ? 0xC8000000u | ThreatColour(a->kind) : 0xC8FF0000u;
            DrawDistanceText(text, p.distance, colour, colour);
        }
    }

    // Boost and energy.
    hud.Draw(kBoostFrame, nullptr, hud.Layout(512.0f, 709.0f), frameTint);
    hud.DrawBar(kBoostBar, 522.0f, 718.0f, BoostFraction(), true, kWhite);
    hud.Draw(kEnergyFrame, nullptr, hud.Layout(202.0f, 709.0f), frameTint);
    hud.DrawBar(kEnergyBar, 213.0f, 718.0f, EnergyFraction(), false, kWhite);

    // HP, flashing below a fifth.
    hud.Draw(kHpFrame, &hud.Picture(kHpFrame).sourceRect, hud.Layout(2.0f, 675.0f), frameTint);
    const u32 hpColour = hp < hpMax / 5 ? LowHpColour(n) : 0xC82E81FFu;
    DrawNumber(hud.app, hp, 23.0f, 687.0f, 1.0f, -10, hpColour);

    // Charge, with the hold overlay flickering off every third frame.
    hud.Draw(kChargeFrame, &hud.Picture(kChargeFrame).sourceRect, hud.Layout(700.0f, 739.0f), frameTint);
    const f32 charge = Share(static_cast<f32>(chargeGauge), 10000.0f);
    hud.DrawBar(kChargeBar, 712.0f, 748.0f, charge, true, kWhite);
    if (n % 3u != 0) {
        i32 held = buttonHold[2];
        for (i32 b : {6, 7, 8}) held = buttonHold[b] > held ? buttonHold[b] : held;
        f32 k = static_cast<f32>(held) / 300.0f;
        k = k > 1.0f ? 1.0f : k;
        k = k > charge ? charge : k;
        hud.DrawBar(kChargeHold, 712.0f, 748.0f, k < 0.0f ? 0.0f : k, true, kWhite);
    }

    // Weapon cooling: shot, sub 1, sub 2, sub 3.
    static constexpr i32 kTimers[4] = {0, 2, 3, 4};
    for (i32 i = 0; i < 4; ++i) {
        const f32 row = static_cast<f32>(17 * i);
        hud.Draw(kWeaponFrame, &hud.Picture(kWeaponFrame).sourceRect, hud.Layout(925.0f, 664.0f + row), frameTint);
        f32 share = 1.0f - static_cast<f32>(timers5[kTimers[i]]) / 1000.0f;
        share = share < 0.0f ? 0.0f : (share > 1.0f ? 1.0f : share);
        hud.DrawBar(kWeaponBar, 933.0f, 672.0f + row, share, true, kWhite);
    }

    // Kills and score.
    const plat::GfxRect panel{0, 0, 256, 90};
    hud.Draw(kPanel, &panel, hud.Layout(10.0f, 10.0f), kWhite);
    char digits[32];
    std::snprintf(digits, sizeof digits, "%03d", static_cast<i32>(kills));
    DrawDigitString(hud.app, digits, 3, 18.0f, 34.0f, 0.6f, -10, 0xC8FFFFFFu);
    std::snprintf(digits, sizeof digits, "%09d", score);
    DrawDigitString(hud.app, digits, static_cast<i32>(std::strlen(digits)), 90.0f, 34.0f, 0.5f, -10, 0xC8FFFFFFu);

    // Pilot window and name.
    hud.Draw(kPilotWindow, &hud.Picture(kPilotWindow).sourceRect, hud.Layout(1.0f, 475.0f), frameTint);
    if (pilotIndex >= 0 && pilotIndex < MaxPilots) {
        const plat::GfxRect face{0, 0, 200, 150};
        hud.Draw(GetPilotRegistry()->slots[pilotIndex].pictures[0].texture, &face, hud.Layout(5.0f, 493.0f),
                 0xC0FFFFFFu);
    }
    const plat::GfxRect nameRect{0, 0, 200, 24};
    hud.Text(4, displayName, nameRect, hud.Layout(6.0f, 650.0f), 0xFF000000u);
    hud.Text(4, displayName, nameRect, hud.Layout(5.0f, 649.0f), kWhite);
}

void CRobot_Normal::DrawLockOn()
{
    Hud hud;
    if (!hud.Ready() || !lockTarget || lockTarget->screenPos.z <= 0.0f) return;
    CRobot_Base* t = lockTarget;
    const f32 x = t->screenPos.x, y = t->screenPos.y;
    u32 c = 0xFFFF0000u;
    if (t->GetKind() == kKindRobot && static_cast<CRobot_Normal*>(t)->hitImmunity) c = 0xFFFFFF00u;
    // The marker grows in while a ring shrinks onto it.
    const Mat4 at = Move(x, y);
    hud.Draw(kLock, nullptr, Mul(Mul(Move(-64.0f, -64.0f), Scale(lockFade, lockFade)), at), c);
    if (lockFade < 1.0f) {
        const f32 ring = 6.0f - 5.0f * lockFade;
        hud.Draw(kLock2, nullptr, Mul(Mul(Move(-32.0f, -32.0f), Scale(ring, ring)), at), c);
    }
    const i32 left = static_cast<i32>(x) + 36, top = static_cast<i32>(y) + 10;
    DrawDistanceTextIn(Mat4::Identity(), plat::GfxRect{left, top, left + 200, top + 100},
                       plat::Vec3Length(&aimVector), 0xFF00FF00u, 0xC800FF00u);
    DrawNamePlate(hud, t->displayName, x, y, kWhite, false);
    if (tacticalRules == 1) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", lockTimer);
        hud.Text(0, text, plat::GfxRect{0, 0, 256, 12}, Move(x + 36.0f, y - 30.0f), 0xFF00FF00u);
    }
    DrawUnitBars(hud, t, x, y, true);
}

void CRobot_Normal::DrawCharaInfo(CRobot_Base* other)
{
    if (!other || (tacticalRules == 1 && other->team != team)) return;
    Hud hud;
    if (!hud.Ready() || other->screenPos.z <= 0.0f || other->state != kRobotStateLive) return;
    const f32 x = other->screenPos.x, y = other->screenPos.y;
    DrawNamePlate(hud, other->displayName, x, y, other->team == team ? 0xFF0000C0u : 0xFFC00000u, true);
    DrawUnitBars(hud, other, x, y, false);
}
