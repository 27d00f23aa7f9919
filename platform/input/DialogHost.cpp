#include "platform/input/DialogHost.h"

#include <algorithm>
#include <string>

#include <SDL2/SDL.h>
#include <SDL2/SDL_opengl.h>
#include <imgui.h>

#include "imgui_impl_opengl3.h"
#include "imgui_impl_sdl.h"
#include "platform/input/Events.h"
#include "platform/input/RawEvents.h"
#include "platform/core/FileSystem.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/NativeWindow.h"
#include "platform/gfx/Window.h"

namespace plat {
namespace {

constexpr float kFontSize = 16.0f;

void FeedUi(const SDL_Event& e) { ImGui_ImplSDL2_ProcessEvent(&e); }

// Glyph ranges must outlive the font atlas build; one set serves the program.
ImVector<ImWchar> gRanges;

}  // namespace

bool AddDialogFont(const char* file, i32 faceIndex, const char* glyphText)
{
    ImGuiIO& io = ImGui::GetIO();
    if (file == nullptr || !PathExists(file)) {
        io.Fonts->AddFontDefault();
        return false;
    }
    // The atlas builder trusts the file and aborts on a damaged one: FreeType,
    // which checks what it reads, looks first.
    std::string why;
    if (!CheckFontFile(file, faceIndex, &why)) {
        ReportLoadFailure(file, ("is damaged (" + why + "): the built-in font is used instead").c_str());
        io.Fonts->AddFontDefault();
        return false;
    }
    ImFontGlyphRangesBuilder builder;
    builder.AddRanges(io.Fonts->GetGlyphRangesJapanese());
    builder.AddRanges(io.Fonts->GetGlyphRangesChineseSimplifiedCommon());
    if (glyphText) builder.AddText(glyphText);
    gRanges.clear();
    builder.BuildRanges(&gRanges);
    ImFontConfig config;
    config.FontNo = faceIndex & 0xFFFF;
    config.OversampleH = 1;
    config.OversampleV = 1;
    if (!io.Fonts->AddFontFromFileTTF(file, kFontSize, &config, gRanges.Data)) {
        io.Fonts->AddFontDefault();
        return false;
    }
    return true;
}

namespace {

// The GL library stays loaded for the whole run: closing the dialog's
// window must not unload the driver the game's window loads again at once.
void KeepGlLoaded()
{
    PrepareGlDriver();
    static bool loaded = SDL_GL_LoadLibrary(nullptr) == 0;
    (void)loaded;
}

}  // namespace

DialogHost::~DialogHost() { Close(); }

bool DialogHost::Open(const char* title, i32 width, i32 height, const char* glyphText)
{
    if (window_) return true;
    if (!InitEvents() || !SDL_WasInit(SDL_INIT_VIDEO)) return false;
    KeepGlLoaded();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    window_ = FromSdl(SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                                       SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN));
    if (!window_) return false;
    glContext_ = SDL_GL_CreateContext(ToSdl(window_));
    if (!glContext_) {
        SDL_DestroyWindow(ToSdl(window_));
        window_ = nullptr;
        return false;
    }
    SDL_GL_MakeCurrent(ToSdl(window_), glContext_);
    SDL_GL_SetSwapInterval(0); // the dialog loop paces itself

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr; // no imgui.ini beside the game
    io.LogFilename = nullptr;
    ImGui::StyleColorsLight();
    // The face the game's own text uses, so the dialogs show what the game will.
    const FontFaceChoice face = ChooseFontFace("ＭＳ　ゴシック");
    AddDialogFont(face.file.empty() ? nullptr : face.file.c_str(), face.index, glyphText);
    ImGui_ImplSDL2_InitForOpenGL(ToSdl(window_), glContext_);
    ImGui_ImplOpenGL3_Init("#version 330 core");
    uiStarted_ = true;
    SetRawEventObserver(FeedUi);
    return true;
}

void DialogHost::SetTitle(const char* title)
{
    if (window_ && title) SDL_SetWindowTitle(ToSdl(window_), title);
}

void DialogHost::BeginFrame()
{
    if (!uiStarted_) return;
    SDL_GL_MakeCurrent(ToSdl(window_), glContext_);
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
}

void DialogHost::EndFrame(std::vector<u32>* shot, u32* width, u32* height)
{
    if (!uiStarted_) return;
    ImGui::Render();
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(ToSdl(window_), &w, &h);
    // The dialog's own context; the game's renderer is not running yet.
    glViewport(0, 0, w, h);
    glClearColor(0.94f, 0.94f, 0.94f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    if (shot && width && height && w > 0 && h > 0) {
        std::vector<u32> rows(size_t(w) * size_t(h));
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
        // GL reads bottom-up; pictures run top-down.
        shot->resize(rows.size());
        for (int y = 0; y < h; ++y)
            std::copy_n(rows.data() + size_t(h - 1 - y) * size_t(w), size_t(w), shot->data() + size_t(y) * size_t(w));
        *width = u32(w);
        *height = u32(h);
    }
    SDL_GL_SwapWindow(ToSdl(window_));
}

void DialogHost::Close()
{
    if (uiStarted_) {
        SetRawEventObserver(nullptr);
        ImGui_ImplOpenGL3_Shutdown();
        ImGui_ImplSDL2_Shutdown();
        ImGui::DestroyContext();
        uiStarted_ = false;
    }
    if (glContext_) {
        SDL_GL_DeleteContext(static_cast<SDL_GLContext>(glContext_));
        glContext_ = nullptr;
    }
    if (window_) {
        SDL_DestroyWindow(ToSdl(window_));
        window_ = nullptr;
    }
}

}  // namespace plat
