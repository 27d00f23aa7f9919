#include "app/scene/RankingList.h"

#include <cstdio>

#include "app/core/Application.h"
#include "app/player/RankingTable.h"
#include "app/scene/Camera.h"
#include "app/scene/DigitDraw.h"
#include "app/scene/RankingInput.h"
#include "app/scene/SceneDevice.h"
#include "app/scene/SharedPictures.h"
#include "engine/core/AssetFile.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/core/FileSystem.h"
#include "platform/math/Math.h"

namespace {

constexpr u32 DrawingPriority = 10000;

void DrawFace(TextureHandle& face, f32 x, f32 y)
{
    if (!face.texture) return;
    SetSpriteAt(x, y);
    const plat::GfxRect strip{0, 0, 256, 64};
    GetGraphicsDevice()->sprite->Draw(face.texture, &strip, nullptr, nullptr, 0xFFFFFFFFu);
}

}  // namespace

TCB_RankingList* TCB_RankingList::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<TCB_RankingList>(list, priority);
}

void TCB_RankingList::Start(RankingTable* rankingTable, f32 startX)
{
    table = rankingTable;
    drawing = TCB_DrawSP_RankingList::Create(static_cast<CList<TCB>*>(owner), DrawingPriority);
    if (drawing) drawing->list = this;
    x = startX;
}

i32 TCB_RankingList::Proc()
{
    if (!closing) return kTaskKeep;
    if (drawing) static_cast<CList<TCB>*>(owner)->Erase(drawing);
    drawing = nullptr;
    return kTaskRemove;
}

TCB_DrawSP_RankingList::TCB_DrawSP_RankingList()
{
    LoadPicture(listPicture, "Quillon/ranking.png");
    LoadPicture(fontPicture, "Quillon/Font.png");
    const CApplication& app = *GetApplication();
    folder = plat::GetCurrentDirectory();
    for (u32 i = 0; i < app.robotFolders.count; ++i) faces.push_back(std::make_unique<TextureHandle>());
    faceTried.assign(faces.size(), false);
}

TextureHandle& TCB_DrawSP_RankingList::Face(u32 robotType)
{
    TextureHandle& face = *faces[robotType];
    if (!faceTried[robotType]) {
        faceTried[robotType] = true;
        const std::string file = folder + "/" + GetApplication()->robotFolders.names[robotType] + "/face.png";
        LoadPicture(face, file.c_str());
    }
    return face;
}

TCB_DrawSP_RankingList* TCB_DrawSP_RankingList::Create(CList<TCB>* list, u32 priority)
{
    return CreateInList<TCB_DrawSP_RankingList>(list, priority);
}

void TCB_DrawSP_RankingList::DrawSP()
{
    GraphicsDevice* gd = GetGraphicsDevice();
    if (!list || !list->table || !gd->sprite) return;
    CApplication& app = *GetApplication();
    const RankingTable& table = *list->table;
    const f32 x = list->x;
    if (listPicture.texture) {
        Mat4 screen;
        plat::MatrixScaling(&screen, app.video.screenScaleX, app.video.screenScaleY, 1.0f);
        gd->sprite->SetTransform(screen);
        gd->sprite->Draw(listPicture.texture, &listPicture.sourceRect, nullptr, nullptr, 0xFFFFFFFFu);
    }
    if (!list->title.empty()) {
        const plat::GfxRect screenRect{0, 0, 1024, 768};
        DrawTextAt(1, 7.0f, 7.0f, list->title.c_str(), -1, &screenRect, 0, 0xFF000000u);
        DrawTextAt(1, 5.0f, 5.0f, list->title.c_str(), -1, &screenRect, 0, 0xFFFFFFFFu);
    }
    for (u32 i = 0; i < RankingEntryCount; ++i) {
        const RankingEntry& e = table.entries[i];
        const f32 y = 64.0f + 64.0f * f32(i);
        char text[16];
        std::snprintf(text, sizeof text, "%02u", i + 1);
        DrawDigitString(app, text, -1, x + 64.0f, y, 1.0f, -10, 0xFFFFFF00u);
        for (i32 k = 0; k < 3; ++k) DrawRankingGlyph(fontPicture, e.name[k], x + 174.0f + 64.0f * f32(k), y);
        std::snprintf(text, sizeof text, "%09d", e.score);
        DrawDigitString(app, text, -1, x + 370.0f, y, 1.0f, -10, 0xFFFFFFFFu);
        std::snprintf(text, sizeof text, "%03u", e.count % 1000);
        DrawDigitString(app, text, 3, x + 738.0f, y, 1.0f, -10, 0xFFFFFFFFu);
        // A robot type beyond the folders (a file from a larger set) has no face.
        if (e.robotType < faces.size()) DrawFace(Face(e.robotType), x + 855.0f, y);
    }
}

TCB_RankingList* StartRankingList(CList<TCB>* list, RankingTable* table, float x, const char* title)
{
    TCB_RankingList* ranking = TCB_RankingList::Create(list, 1);
    if (!ranking) return nullptr;
    ranking->Start(table, x);
    ranking->title = title ? title : "";
    return ranking;
}
