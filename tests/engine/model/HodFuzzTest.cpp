// Malformed model and animation files, mutated from valid ones with a fixed
// seed, must be refused or read without touching memory they do not own;
// the sanitizer build turns any overrun, leak or bad conversion into a
// failure.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/core/AssetFile.h"
#include "engine/model/HierarchyObject.h"
#include "support/HodFileBuilder.h"
#include "engine/core/MTRand.h"
#include "support/TempFolder.h"

using hodtest::Node;

namespace {

Node Tree()
{
    // Names that load no mesh keep the loop fast.
    Node root;
    root.name = "n0";
    for (int i = 0; i < 3; ++i) {
        Node c;
        c.level = 1;
        c.name = "n" + std::to_string(i + 1);
        c.linkMode = static_cast<u8>(i == 2 ? 3 : 0);
        c.swing[0] = 30.0f;
        c.swing[1] = 0.5f;
        c.swing[2] = 0.2f;
        Node g;
        g.level = 2;
        g.name = "g" + std::to_string(i);
        c.children.push_back(g);
        root.children.push_back(c);
    }
    return root;
}

class Mutator {
public:
    explicit Mutator(u32 seed) { rand_.Init(seed); }
    u32 Below(u32 n) { return n ? rand_.GetRand() % n : 0; }

    std::string Mutate(std::string s)
    {
        static const u32 interesting[] = {0, 1, 2, 9, 10, 11, 199, 200, 0x7FFFFFFFu, 0xFFFFFFFFu};
        const u32 edits = 1 + Below(6);
        for (u32 e = 0; e < edits && !s.empty(); ++e) {
            switch (Below(5)) {
            case 0:
                s[Below(static_cast<u32>(s.size()))] = static_cast<char>(rand_.GetRand());
                break;
            case 1: {
                // A count or level field: records start at 7 or 11 bytes in.
                const u32 at = Below(static_cast<u32>(s.size() >= 4 ? s.size() - 3 : 1));
                const u32 v = interesting[Below(sizeof interesting / sizeof interesting[0])];
                for (int i = 0; i < 4 && at + i < s.size(); ++i) s[at + i] = static_cast<char>(v >> (8 * i));
                break;
            }
            case 2:
                s.resize(Below(static_cast<u32>(s.size())));
                break;
            case 3: {
                const u32 from = Below(static_cast<u32>(s.size()));
                const u32 len = Below(400);
                s.insert(Below(static_cast<u32>(s.size())), s.substr(from, len));
                break;
            }
            default:
                // A name that runs to the end of its field.
                if (s.size() > 300) std::fill_n(s.begin() + 15, 256, 's');
                break;
            }
        }
        return s;
    }

private:
    cMTRand rand_;
};

class HodFuzz : public ::testing::Test {
protected:
    FileHandle* Open(const std::string& bytes)
    {
        file_.Close();
        const std::string path = folder_ / "fuzz.bin";
        FileHandle out;
        if (!out.OpenWrite(path.c_str())) return nullptr;
        out.Write(bytes.data(), static_cast<u32>(bytes.size()));
        out.Close();
        return file_.OpenRead(path.c_str()) ? &file_ : nullptr;
    }

    // Plays whatever the files left in the model.
    void Exercise(CHierarchyObject& model, Mutator& m)
    {
        model.nodeCallback = AimNodeCallback;
        model.nodeCallbackArg = &model;
        HodNode::CreatePoseCacheTree(model.root);
        HodNode::StoreAimLimitsTree(model.root);
        model.PlayAnimation(m.Below(210), m.Below(7), 0.5f, 1.0f, static_cast<f32>(m.Below(20)) - 5.0f, m.Below(2),
                            1);
        model.ChangeAnime(m.Below(210), 0.0f, static_cast<f32>(m.Below(4)), 1.5f, 1.0f, -2.0f, m.Below(2));
        const Mat4 world;
        for (int i = 0; i < 6; ++i) {
            model.RebaseClock();
            model.AdvanceAnime(1.0f);
            model.ApplyAnime(&world);
        }
    }

    TempFolder folder_;
    FileHandle file_;
};

TEST_F(HodFuzz, MutatedModelsAndKeyFilesNeverCrash)
{
    Mutator m(20240607u);
    const Node tree = Tree();
    const std::string hod = hodtest::HodFile(tree);
    const std::string hd2 = hodtest::Hd2File(tree);
    const std::string ver1 = hodtest::Ver1File(tree, std::vector<Mat4>(7, hodtest::Translation(1, 2, 3)));
    std::vector<hodtest::Ver2Key> keys(7);
    keys[1].rotationMode = 2;
    keys[2].translationMode = 1;
    keys[3].scaleMode = 1;
    keys[4].rotationMode = 1;
    const std::string ver2 = hodtest::Ver2File(keys);

    int loaded = 0, keyed = 0;
    for (int i = 0; i < 1500; ++i) {
        CHierarchyObject model;
        const bool useHd2 = (i & 1) != 0;
        FileHandle* f = Open(m.Below(8) == 0 ? (useHd2 ? hd2 : hod) : m.Mutate(useHd2 ? hd2 : hod));
        ASSERT_NE(f, nullptr);
        const int ok = useHd2 ? model.ReadHd2(f, 0, 0, nullptr) : model.ReadHod(f, 0, 0, nullptr);
        if (ok && model.root) {
            ++loaded;
            for (int a = 0; a < 3; ++a) {
                const u32 anime = m.Below(4) == 0 ? 200 + m.Below(5) : m.Below(3);
                model.AllocAnimeKeys(anime, m.Below(4));
                const bool v2 = m.Below(2) != 0;
                FileHandle* k = Open(m.Mutate(v2 ? ver2 : ver1));
                ASSERT_NE(k, nullptr);
                const u32 keyIndex = m.Below(5);
                keyed += v2 ? model.LoadDataToTable_Ver2(k, anime, keyIndex)
                            : model.LoadDataToTable_Ver1(k, anime, keyIndex);
            }
            Exercise(model, m);
            CHierarchyObject copy;
            model.CopyTo(&copy);
            Exercise(copy, m);
            copy.Release();
        }
        model.Release();
    }
    // The loop must actually reach the key readers and the pose walks.
    EXPECT_GT(loaded, 100);
    EXPECT_GT(keyed, 10);
}

}  // namespace
