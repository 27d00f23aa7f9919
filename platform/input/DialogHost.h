#pragma once
// A small window of its own in which the settings dialogs draw their
// controls with Dear ImGui, before the game's main window exists. Without a
// display the host stays closed and a dialog runs on scripted input alone.
#include <vector>

#include "platform/core/Types.h"

namespace plat {

struct SystemWindow;

// Adds the dialogs' font from face faceIndex of file to the current UI
// context's font atlas (the Japanese and Chinese ranges plus every
// character of glyphText), or the built-in font (ASCII only) when the file
// is missing or damaged (a damaged one is named on stderr). false when the
// built-in font was taken.
bool AddDialogFont(const char* file, i32 faceIndex, const char* glyphText);

class DialogHost {
public:
    DialogHost() = default;
    ~DialogHost();
    DialogHost(const DialogHost&) = delete;
    DialogHost& operator=(const DialogHost&) = delete;

    // Opens the window and the UI with the CJK face the game's text uses
    // (plat::ChooseFontFace), holding the Japanese and Chinese ranges plus
    // every character of glyphText; the built-in font when no installed face
    // will do. false when no window can be made.
    bool Open(const char* title, i32 width, i32 height, const char* glyphText);
    bool IsOpen() const { return window_ != nullptr; }
    void SetTitle(const char* title);
    // One UI frame: the controls are issued between the two calls.
    void BeginFrame();
    // With shot, what the frame drew is read into it first (0xAARRGGBB,
    // rows top-down, width x height), for the game's screenshot key.
    void EndFrame(std::vector<u32>* shot = nullptr, u32* width = nullptr, u32* height = nullptr);
    void Close();

private:
    SystemWindow* window_ = nullptr;
    void* glContext_ = nullptr;
    bool uiStarted_ = false;
};

}  // namespace plat
