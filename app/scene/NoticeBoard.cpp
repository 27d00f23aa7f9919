#include "app/scene/NoticeBoard.h"

#include <deque>

#include "app/scene/Camera.h"
#include "app/scene/SceneDevice.h"
#include "app/scene/SharedPictures.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/core/MessageBox.h"

namespace {

struct Notice {
    std::string text;
    i32 framesLeft = NoticeFrames;
};

std::deque<Notice>& Board()
{
    static std::deque<Notice> board;
    return board;
}

// Tells the boxes which notices are up: a repeat of one of them only keeps
// it up, one that has left is told afresh. Frames are the one clock.
std::vector<std::string> Texts()
{
    std::vector<std::string> shown;
    for (const Notice& n : Board()) shown.push_back(n.text);
    return shown;
}

void Publish() { plat::SetNoticesOnScreen(Texts()); }

void TakeNew()
{
    std::deque<Notice>& board = Board();
    for (std::string& text : plat::TakeNotices()) {
        // Told again while still up: the one line starts its time afresh as
        // the newest, rather than a second copy beside it.
        for (auto it = board.begin(); it != board.end(); ++it)
            if (it->text == text) {
                board.erase(it);
                break;
            }
        board.push_back(Notice{std::move(text)});
    }
    while (board.size() > static_cast<size_t>(NoticeLines)) board.pop_front();
    Publish();
}

}  // namespace

std::vector<std::string> ShownNotices()
{
    TakeNew();
    return Texts();
}

void DrawNotices()
{
    TakeNew();
    std::deque<Notice>& board = Board();
    while (!board.empty() && board.front().framesLeft <= 0) board.pop_front();
    Publish();
    if (board.empty()) return;
    for (Notice& n : board) --n.framesLeft;

    GraphicsDevice* gd = GetGraphicsDevice();
    plat::GfxDevice* device = gd->device;
    if (!device || !gd->sprite || !plat::Succeeded(device->BeginScene())) return;
    if (plat::Succeeded(gd->sprite->Begin(plat::SpriteAlphaBlend))) {
        // At the foot of the screen: the scenes keep their titles and hints
        // at the top.
        const f32 lineHeight = 22.0f;
        const f32 height = 8.0f + lineHeight * static_cast<f32>(board.size());
        FillLayoutRect(GetSharedPicture(SharedPicture::Dot).texture, 0.0f, 768.0f - height, 1024.0f, height,
                       0xB4000000u);
        const plat::GfxRect rect{0, 0, 1008, 24};
        f32 y = 768.0f - height + 4.0f;
        for (const Notice& n : board) {
            DrawTextAt(4, 9.0f, y + 1.0f, n.text.c_str(), -1, &rect, 0, 0xFF000000u);
            DrawTextAt(4, 8.0f, y, n.text.c_str(), -1, &rect, 0, 0xFFFFD040u);
            y += lineHeight;
        }
        gd->sprite->End();
    }
    device->EndScene();
}
