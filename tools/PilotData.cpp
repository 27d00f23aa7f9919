#include "tools/PilotData.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/core/FileSystem.h"
#include "platform/core/Types.h"
#include "tools/OggToneWriter.h"
#include "tools/PngWriter.h"

namespace {

struct Rgb {
    u8 r, g, b;
};

// A round face on a coloured background; `mouth` opens it for the talking frame.
std::string FacePicture(Rgb background, Rgb hair, bool mouth)
{
    constexpr u32 size = 128;
    std::vector<u8> rgba(size * size * 4);
    for (u32 y = 0; y < size; ++y) {
        for (u32 x = 0; x < size; ++x) {
            const float dx = float(x) - 64.0f, dy = float(y) - 70.0f;
            const float d = std::sqrt(dx * dx + dy * dy);
            Rgb c = background;
            if (d < 44.0f) c = {240, 205, 170};                                // skin
            if (d < 48.0f && dy < -18.0f) c = hair;                             // hair
            const float ex = std::fabs(dx) - 16.0f, ey = dy + 4.0f;
            if (ex * ex + ey * ey < 25.0f) c = {30, 30, 40};                   // eyes
            if (std::fabs(dx) < 12.0f && dy > 20.0f && dy < (mouth ? 30.0f : 23.0f)) c = {150, 40, 50};
            u8* p = &rgba[(size_t(y) * size + x) * 4];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = 255;
        }
    }
    return EncodePng(size, size, rgba);
}

class PilotWriter {
public:
    PilotWriter(const std::string& runFolder, const char* folder)
        : path_(runFolder + "/pilot/" + folder)
    {
        ok_ = plat::CreateDirectory((runFolder + "/pilot").c_str()) && plat::CreateDirectory(path_.c_str());
    }

    void File(const char* name, const std::string& bytes)
    {
        const std::string full = path_ + "/" + name;
        if (!plat::WriteFileAtomic(full.c_str(), bytes.data(), bytes.size())) {
            std::fprintf(stderr, "quillon_datamaker: cannot write %s\n", full.c_str());
            ok_ = false;
        }
    }
    void Voice(const char* name, f32 from, f32 to, f32 seconds)
    {
        const std::string ogg = EncodeOggTone(from, to, seconds);
        if (ogg.empty()) ok_ = false;
        File(name, ogg);
    }
    bool Ok() const { return ok_; }

private:
    std::string path_;
    bool ok_ = false;
};

// A script pilot: the script names its pictures and voices and animates a
// talking face on the first radio message.
bool MakeScriptPilot(const std::string& root)
{
    PilotWriter w(root, "Kaede");
    w.File("face.png", FacePicture({70, 110, 170}, {60, 40, 30}, false));
    w.File("talk.png", FacePicture({70, 110, 170}, {60, 40, 30}, true));
    w.File("pilot.txt", "カエデ\n");
    w.File("0.txt", "了解、援護に回ります。\n");
    w.File("1.txt", "敵機接近！\n");
    w.Voice("radio0.ogg", 520.0f, 660.0f, 0.5f);
    w.Voice("radio1.ogg", 700.0f, 500.0f, 0.4f);
    w.Voice("attack1.ogg", 400.0f, 900.0f, 0.25f);
    w.Voice("attack2.ogg", 450.0f, 950.0f, 0.25f);
    w.Voice("hit1.ogg", 300.0f, 180.0f, 0.3f);
    w.Voice("down1.ogg", 500.0f, 120.0f, 0.6f);
    w.File("pilot.spt",
           "' sample pilot script\r\n"
           "LoadPic(0, face.png)\r\n"
           "LoadPic(1, talk.png)\r\n"
           "LoadOgg(0, radio0.ogg)\r\n"
           "LoadOgg(1, radio1.ogg)\r\n"
           "LoadOgg(10, attack1.ogg)\r\n"
           "LoadOgg(11, attack2.ogg)\r\n"
           "LoadOgg(20, hit1.ogg)\r\n"
           "LoadOgg(25, down1.ogg)\r\n"
           "Animation(0)\r\n"
           "#20\r\n"
           "ChangePic(1)\r\n"
           "PlayOgg(0)\r\n"
           "#20\r\n"
           "ChangePic(0)\r\n"
           "#20\r\n"
           "ChangePic(1)\r\n");
    return w.Ok();
}

// A folder pilot without a script: numbered radio voices and the combat
// voices under their kind names.
bool MakeFolderPilot(const std::string& root)
{
    PilotWriter w(root, "Rex");
    w.File("face.png", FacePicture({160, 70, 60}, {200, 170, 60}, false));
    w.File("pilot.txt", "Rex\n");
    w.File("0.txt", "Roger that.\n");
    w.File("1.txt", "Cover me!\n");
    w.Voice("0.ogg", 330.0f, 440.0f, 0.5f);
    w.Voice("1.ogg", 440.0f, 330.0f, 0.5f);
    w.Voice("atk1.ogg", 350.0f, 800.0f, 0.2f);
    w.Voice("atk2.ogg", 380.0f, 850.0f, 0.2f);
    w.Voice("dmg1.ogg", 250.0f, 150.0f, 0.3f);
    w.Voice("die1.ogg", 400.0f, 90.0f, 0.7f);
    w.Voice("destroy1.ogg", 600.0f, 900.0f, 0.3f);
    w.Voice("rebirth1.ogg", 300.0f, 600.0f, 0.4f);
    return w.Ok();
}

// The lightest pilot: a face and a name.
bool MakeFacePilot(const std::string& root)
{
    PilotWriter w(root, "Mira");
    w.File("face.png", FacePicture({60, 140, 90}, {40, 40, 50}, false));
    w.File("pilot.txt", "ミラ\n");
    return w.Ok();
}

}  // namespace

bool MakePilotData(const char* runFolder)
{
    const std::string root = runFolder;
    bool ok = MakeScriptPilot(root);
    ok &= MakeFolderPilot(root);
    ok &= MakeFacePilot(root);
    return ok;
}
