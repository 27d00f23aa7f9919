// The sample battleship: a long hull ("body.x") with a flat deck robots can
// stand on, four turrets that turn and raise their barrels (the main cannon
// muzzles are weapon points 0-3), guns along both sides (points 4-13), two
// missile launchers aft (14, 15), two burners at the stern and the missile
// mesh its salvo flies with.
#include "tools/ShipData.h"

#include <cstdio>
#include <string>
#include <vector>

#include "engine/core/AssetFile.h"
#include "platform/core/FileSystem.h"
#include "platform/math/Math.h"
#include "tools/DataBytes.h"
#include "tools/RobotData.h"

namespace {

struct Node {
    std::string name;
    int parent;
    Vec3 at;
    Vec3 half;
};

std::vector<Node> ShipNodes()
{
    std::vector<Node> n = {
        {"Frame.x", -1, Vec3(0, 0, 0), Vec3(0.2f, 0.2f, 0.2f)},
        {"body.x", 0, Vec3(0, 0, 0), Vec3(3.0f, 1.5f, 11.0f)},
    };
    const f32 turretZ[4] = {7.0f, 3.5f, -3.5f, -7.0f};
    for (int i = 0; i < 4; ++i) {
        const int turret = static_cast<int>(n.size());
        n.push_back({"Turret" + std::to_string(i) + ".x", 1, Vec3(0, 2.0f, turretZ[i]), Vec3(0.9f, 0.4f, 0.9f)});
        const int barrel = static_cast<int>(n.size());
        n.push_back({"Barrel" + std::to_string(i) + ".x", turret, Vec3(0, 0.3f, 0.8f), Vec3(0.15f, 0.15f, 1.0f)});
        n.push_back({"Muzzle" + std::to_string(i) + ".x", barrel, Vec3(0, 0, 1.1f), Vec3(0.05f, 0.05f, 0.05f)});
    }
    // A node holds at most ten children: the guns hang from two side rails
    // (4..13 alternate port and starboard from bow to stern), the launchers
    // and burners from the stern.
    const int port = static_cast<int>(n.size());
    n.push_back({"Port.x", 1, Vec3(-3.0f, 0.8f, 0.0f), Vec3(0.1f, 0.1f, 9.0f)});
    const int starboard = static_cast<int>(n.size());
    n.push_back({"Starboard.x", 1, Vec3(3.0f, 0.8f, 0.0f), Vec3(0.1f, 0.1f, 9.0f)});
    for (int i = 4; i < 14; ++i) {
        const bool left = i % 2 == 0;
        const f32 z = 8.0f - static_cast<f32>((i - 4) / 2) * 4.0f;
        n.push_back({"Gun" + std::to_string(i) + ".x", left ? port : starboard, Vec3(left ? -0.3f : 0.3f, 0, z),
                     Vec3(0.2f, 0.2f, 0.5f)});
    }
    const int stern = static_cast<int>(n.size());
    n.push_back({"Stern.x", 1, Vec3(0.0f, 0.0f, -10.0f), Vec3(2.0f, 1.0f, 0.5f)});
    n.push_back({"Launcher14.x", stern, Vec3(-1.5f, 2.0f, 0.5f), Vec3(0.4f, 0.4f, 0.4f)});
    n.push_back({"Launcher15.x", stern, Vec3(1.5f, 2.0f, 0.5f), Vec3(0.4f, 0.4f, 0.4f)});
    n.push_back({"Burner0.x", stern, Vec3(-1.5f, 0.0f, -1.2f), Vec3(0.5f, 0.5f, 0.2f)});
    n.push_back({"Burner1.x", stern, Vec3(1.5f, 0.0f, -1.2f), Vec3(0.5f, 0.5f, 0.2f)});
    return n;
}

std::string PointName(int i)
{
    if (i < 4) return "Muzzle" + std::to_string(i) + ".x";
    if (i < 14) return "Gun" + std::to_string(i) + ".x";
    return "Launcher" + std::to_string(i) + ".x";
}

void Order(const std::vector<Node>& nodes, int at, std::vector<int>& out)
{
    out.push_back(at);
    for (int i = 0; i < static_cast<int>(nodes.size()); ++i)
        if (nodes[i].parent == at) Order(nodes, i, out);
}

void PutName(std::string& s, const std::string& text, size_t n)
{
    std::string field(n, '\0');
    field.replace(0, std::min(text.size(), n - 1), text.substr(0, n - 1));
    s += field;
}

// "Script.ani": the model (a HOD tree) and 200 empty animations: a ship has
// no animations and no scripts.
std::string AnimationFile(const std::vector<Node>& nodes)
{
    std::vector<int> order;
    Order(nodes, 0, order);
    std::string s = "ANI";
    PutName(s, "Battleship.model", 256);
    s += "HOD";
    PutU32(s, 1);
    for (int i : order) {
        const Node& node = nodes[i];
        u32 level = 0, children = 0;
        for (int at = node.parent; at >= 0; at = nodes[at].parent) ++level;
        for (const Node& other : nodes) children += other.parent == i;
        PutU32(s, level);
        PutU32(s, children);
        PutName(s, node.name, 256);
        Mat4 m;
        plat::MatrixTranslation(&m, node.at.x, node.at.y, node.at.z);
        PutMatrix(s, m);
    }
    for (int a = 0; a < 200; ++a) {
        PutName(s, "", 256);
        PutU32(s, 0);  // keys
        PutU32(s, 0);  // script entries
    }
    return s;
}

std::string SettingsText()
{
    std::string s = "' Sample battleship\r\n";
    auto put = [&](const std::string& line) { s += line + "\r\n"; };
    put("Name=Leviathan;");
    put("NameEng=Leviathan;");
    put("HP=20000;");
    put("Generator=3000;");
    put("Energy=10000;");
    put("Score=1000;");
    put("RestBody=1;");
    put("LockDist=200;");
    for (int i = 0; i < 16; ++i) put("WEAPONPOINT(" + std::to_string(i) + ", " + PointName(i) + ", DOWN);");
    put("BURNERSET(0, Burner0.x, 3.0, x);");
    put("BURNERSET(1, Burner1.x, 3.0, x);");
    for (int i = 0; i < 4; ++i)
        put("BATTERY_SETTING(" + std::to_string(i) + ", 1, Turret" + std::to_string(i) + ".x, 1.0, 0.0, Barrel" +
            std::to_string(i) + ".x, 0.5, -0.5, 0.5);");
    put("LoadXFile(0, Missile.x, 1);");
    return s;
}

bool Write(const std::string& path, std::string data, u32 key)
{
    if (key != 0) XorWords(data.data(), static_cast<u32>(data.size()), key);
    if (!plat::WriteFileAtomic(path.c_str(), data.data(), data.size())) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

bool MakeShipFolder(const std::string& dir)
{
    if (!plat::CreateDirectory(dir.c_str())) {
        std::fprintf(stderr, "cannot create %s\n", dir.c_str());
        return false;
    }
    const std::vector<Node> nodes = ShipNodes();
    bool ok = true;
    for (const Node& n : nodes) {
        const bool dark = n.name.rfind("Gun", 0) == 0 || n.name.rfind("Barrel", 0) == 0;
        ok &= Write(dir + "/" + n.name, SampleBoxMesh(n.half, dark ? 0.3f : 0.55f, dark ? 0.3f : 0.6f, dark ? 0.35f : 0.65f),
                    AssetKey);
    }
    ok &= Write(dir + "/hit.x", SampleBoxMesh(Vec3(3.0f, 1.5f, 11.0f), 0.5f, 0.5f, 0.5f), AssetKey);
    ok &= Write(dir + "/Missile.x", SampleBoxMesh(Vec3(0.1f, 0.1f, 0.4f), 0.9f, 0.9f, 0.9f), AssetKey);
    ok &= Write(dir + "/Script.spt", SettingsText(), AssetKey);
    ok &= Write(dir + "/Script.ani", AnimationFile(nodes), 0);
    return ok;
}

}  // namespace

bool MakeShipData(const char* runFolder)
{
    const std::string robo = std::string(runFolder) + "/robo";
    if (!plat::CreateDirectory(robo.c_str())) {
        std::fprintf(stderr, "cannot create %s\n", robo.c_str());
        return false;
    }
    return MakeShipFolder(robo + "/senkan00") && MakeShipFolder(robo + "/senkan01");
}
