#include "app/core/ScreenShot.h"

#include <cstdio>
#include <deque>
#include <mutex>
#include <set>
#include <vector>

#include "app/core/Application.h"
#include "engine/graphics/GraphicsDevice.h"
#include "platform/core/FileSystem.h"
#include "platform/core/MessageBox.h"
#include "platform/core/Thread.h"
#include "platform/gfx/Image.h"
#include "platform/input/InputScript.h"
#include "platform/input/Keyboard.h"

namespace {

int gTaken = 0;

struct Shot {
    std::string path; // absolute; reserved until written
    std::vector<u32> pixels;
    u32 width = 0, height = 0;
    bool withAlpha = false;
};

void ReportShotFailure(const std::string& path)
{
    const std::string text = "The screenshot could not be written: " + path;
    plat::ReportError("ScreenShot", text.c_str());
}

// One worker encodes and writes the shots in the order they were taken.
// Names stay reserved until their file exists, so quick shots never share one.
class ShotWriter {
public:
    ~ShotWriter() { Finish(); }

    bool IsReserved(const std::string& name)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return reserved_.count(name) != 0;
    }

    void Post(Shot shot)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reserved_.insert(shot.path);
        queue_.push_back(std::move(shot));
        if (!running_) {
            // The previous worker has left its loop; collect it before a new one starts.
            if (thread_.IsJoinable()) thread_.Join();
            running_ = thread_.Start(&ShotWriter::Run, this, plat::ThreadPriority::BelowNormal);
            if (!running_) {
                // No thread to spare: write it here rather than lose it.
                Shot now = std::move(queue_.front());
                queue_.pop_front();
                reserved_.erase(now.path);
                Write(now);
            }
        }
    }

    void Finish()
    {
        plat::Thread* thread = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (thread_.IsJoinable()) thread = &thread_;
        }
        if (thread) thread->Join();
    }

private:
    static void Run(void* self) { static_cast<ShotWriter*>(self)->Loop(); }

    void Loop()
    {
        for (;;) {
            Shot shot;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (queue_.empty()) {
                    running_ = false;
                    return;
                }
                shot = std::move(queue_.front());
                queue_.pop_front();
            }
            Write(shot);
            std::lock_guard<std::mutex> lock(mutex_);
            reserved_.erase(shot.path);
        }
    }

    static void Write(const Shot& shot)
    {
        if (!plat::SavePng(shot.path.c_str(), shot.pixels.data(), shot.width, shot.height, shot.withAlpha))
            ReportShotFailure(shot.path);
    }

    std::mutex mutex_;
    std::deque<Shot> queue_;
    std::set<std::string> reserved_;
    bool running_ = false;
    plat::Thread thread_;
};

ShotWriter& GetShotWriter()
{
    static ShotWriter writer;
    return writer;
}

}  // namespace

std::string NextScreenShotName(const std::string& folder)
{
    for (int n = 0; n < ScreenShotLimit; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "ScreenShot/Shot%03d.png", n);
        const std::string path = folder.empty() ? std::string(name) : folder + "/" + name;
        if (!plat::PathExists(path.c_str()) && !GetShotWriter().IsReserved(path)) return name;
    }
    return {};
}

namespace {

// Where the shots' folder is made.
std::string ShotBaseFolder(const CApplication& app)
{
    return app.startupDir[0] ? std::string(app.startupDir) : plat::GetCurrentDirectory();
}

}  // namespace

std::string ScreenShotFolder(const CApplication& app)
{
    return ShotBaseFolder(app) + "/ScreenShot";
}

namespace {

// The path of the next shot, its folder made; empty (and reported) when
// none can be written.
std::string NextShotPath(const CApplication& app)
{
    const std::string folder = ShotBaseFolder(app);
    const std::string shotFolder = ScreenShotFolder(app);
    if (!plat::CreateDirectory(shotFolder.c_str())) {
        ReportShotFailure(shotFolder);
        return {};
    }
    const std::string name = NextScreenShotName(folder);
    if (name.empty()) {
        ReportShotFailure(shotFolder + " (every name up to Shot999.png is taken)");
        return {};
    }
    return folder + "/" + name;
}

}  // namespace

void SaveScreenShot(CApplication& app)
{
    const std::string path = NextShotPath(app);
    if (path.empty()) return;
    plat::GfxDevice* device = GetGraphicsDevice()->device;
    if (!device) {
        ++gTaken; // nothing to read without a device; the key was still honoured
        return;
    }
    Shot shot;
    shot.path = path;
    plat::GfxRef<plat::GfxSurface> backBuffer;
    const plat::GfxRect rect{0, 0, app.video.screenWidth, app.video.screenHeight};
    if (!plat::Succeeded(device->GetBackBuffer(backBuffer.put())) ||
        !plat::Succeeded(device->ReadPixels(backBuffer.get(), &rect, &shot.pixels))) {
        ReportShotFailure(shot.path);
        return;
    }
    shot.width = static_cast<u32>(rect.Width());
    shot.height = static_cast<u32>(rect.Height());
    shot.withAlpha = plat::GfxFormatHasAlpha(backBuffer->Desc().format);
    GetShotWriter().Post(std::move(shot));
    ++gTaken;
}

void SaveScreenShotPixels(CApplication& app, std::vector<u32> pixels, u32 width, u32 height)
{
    if (pixels.size() != size_t(width) * size_t(height) || pixels.empty()) return;
    Shot shot;
    shot.path = NextShotPath(app);
    if (shot.path.empty()) return;
    shot.pixels = std::move(pixels);
    shot.width = width;
    shot.height = height;
    GetShotWriter().Post(std::move(shot));
    ++gTaken;
}

void FinishScreenShots() { GetShotWriter().Finish(); }

int ScreenShotsTaken() { return gTaken; }

bool FrameWanted(const CApplication& app)
{
    if (!plat::InputScriptLoaded()) return true;
    static unsigned passes = 0;
    const bool regular = passes++ % ScriptedDrawEvery == 0;
    return regular || (app.input.keyTable[plat::vk::Snapshot] & 0x80) != 0;
}
