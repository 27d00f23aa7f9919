#include "platform/mesh/XFile.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

namespace plat {
namespace {

// Frames and objects nest; a deeper file is refused rather than allowed to
// exhaust the stack.
constexpr int MaxDepth = 100;
// Faces of more corners than this are refused (exporters write triangles
// and quads; a huge polygon is a broken count).
constexpr u32 MaxPolygonCorners = 1024;

struct ParseFailure {
    std::string message;
};
// The counting reader's totals passed their stop values.
struct CountStop {};
// No normal named yet.
constexpr u32 NoNormal = 0xFFFFFFFFu;

enum class Tok { End, Name, Number, String, Guid, OpenBrace, CloseBrace, Comma, Semicolon };

struct Token {
    Tok kind = Tok::End;
    std::string_view text;
    int line = 1;
    bool isInteger = false;
};

bool IsNameStart(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool IsNameChar(unsigned char c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

class Lexer {
public:
    Lexer(const char* begin, const char* end) : p_(begin), end_(end) {}

    Token Next()
    {
        if (hasPeek_) {
            hasPeek_ = false;
            return peek_;
        }
        return Scan();
    }

    const Token& Peek()
    {
        if (!hasPeek_) {
            peek_ = Scan();
            hasPeek_ = true;
        }
        return peek_;
    }

    // The next number after any ',' and ';', read straight from the text:
    // lists of a million numbers skip the token round trip. false, with
    // only separators taken, when a token is waiting or the next is no number.
    bool NextNumber(Token& t)
    {
        if (hasPeek_) return false;
        while (true) {
            SkipSpace();
            if (p_ >= end_ || (*p_ != ',' && *p_ != ';')) break;
            ++p_;
        }
        if (p_ >= end_) return false;
        const unsigned char c = static_cast<unsigned char>(*p_);
        if (!((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.')) return false;
        t = Token();
        t.line = line_;
        ScanNumber(t);
        return true;
    }

    // Bytes left after the current position: an upper bound for any count
    // the rest of the file can describe.
    size_t Remaining() const { return static_cast<size_t>(end_ - p_); }
    int Line() const { return hasPeek_ ? peek_.line : line_; }

    [[noreturn]] void Fail(int line, const std::string& what) const
    {
        throw ParseFailure{"line " + std::to_string(line) + ": " + what};
    }

private:
    Token Scan()
    {
        SkipSpace();
        Token t;
        t.line = line_;
        if (p_ >= end_) return t;
        const char* start = p_;
        const unsigned char c = static_cast<unsigned char>(*p_);
        switch (c) {
        case '{': ++p_; t.kind = Tok::OpenBrace; break;
        case '}': ++p_; t.kind = Tok::CloseBrace; break;
        case ',': ++p_; t.kind = Tok::Comma; break;
        case ';': ++p_; t.kind = Tok::Semicolon; break;
        case '"': {
            ++p_;
            const char* s = p_;
            while (p_ < end_ && *p_ != '"') {
                if (*p_ == '\n') ++line_;
                ++p_;
            }
            if (p_ >= end_) Fail(t.line, "unterminated string");
            t.kind = Tok::String;
            t.text = std::string_view(s, static_cast<size_t>(p_ - s));
            ++p_;
            return t;
        }
        case '<': {
            while (p_ < end_ && *p_ != '>' && *p_ != '\n') ++p_;
            if (p_ >= end_ || *p_ != '>') Fail(t.line, "unterminated GUID");
            ++p_;
            t.kind = Tok::Guid;
            break;
        }
        default:
            if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
                ScanNumber(t);
                return t;
            }
            if (IsNameStart(c)) {
                while (p_ < end_ && IsNameChar(static_cast<unsigned char>(*p_))) ++p_;
                t.kind = Tok::Name;
                break;
            }
            Fail(t.line, std::string("unexpected character '") +
                             (c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c))
                                                    : "\\x" + Hex(c)) + "'");
        }
        t.text = std::string_view(start, static_cast<size_t>(p_ - start));
        return t;
    }

    static std::string Hex(unsigned char c)
    {
        const char* d = "0123456789ABCDEF";
        return std::string{d[c >> 4], d[c & 15]};
    }

    void ScanNumber(Token& t)
    {
        const char* start = p_;
        bool integer = true;
        if (*p_ == '-' || *p_ == '+') ++p_;
        bool digits = false;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9') { ++p_; digits = true; }
        if (p_ < end_ && *p_ == '.') {
            integer = false;
            ++p_;
            while (p_ < end_ && *p_ >= '0' && *p_ <= '9') { ++p_; digits = true; }
        }
        if (!digits) Fail(t.line, "malformed number");
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            integer = false;
            ++p_;
            if (p_ < end_ && (*p_ == '-' || *p_ == '+')) ++p_;
            bool exp = false;
            while (p_ < end_ && *p_ >= '0' && *p_ <= '9') { ++p_; exp = true; }
            if (!exp) Fail(t.line, "malformed number");
        }
        t.kind = Tok::Number;
        t.isInteger = integer;
        t.text = std::string_view(start, static_cast<size_t>(p_ - start));
    }

    void SkipSpace()
    {
        while (p_ < end_) {
            const char c = *p_;
            if (c == '\n') {
                ++line_;
                ++p_;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v' || c == '\0') {
                ++p_;
            } else if (c == '#' || (c == '/' && p_ + 1 < end_ && p_[1] == '/')) {
                while (p_ < end_ && *p_ != '\n') ++p_;
            } else {
                break;
            }
        }
    }

    const char* p_;
    const char* end_;
    int line_ = 1;
    Token peek_;
    bool hasPeek_ = false;
};

class Parser {
public:
    Parser(const char* begin, const char* end) : lex_(begin, end) {}

    // Walks the file for its meshes' counts alone.
    void CountFile(XFileCounts& counts, const XFileCounts& stop)
    {
        counts_ = &counts;
        stop_ = stop;
        while (true) {
            SkipSeparators();
            const Token t = lex_.Next();
            if (t.kind == Tok::End) break;
            if (t.kind != Tok::Name) lex_.Fail(t.line, "expected a template or data object");
            if (t.text == "template") SkipTemplate();
            else if (t.text == "Frame") CountFrame(1);
            else if (t.text == "Mesh") CountMesh(1);
            else SkipObjectBody(t, 1);
        }
    }

    void ParseFile(XFileData& out)
    {
        while (true) {
            SkipSeparators();
            const Token t = lex_.Next();
            if (t.kind == Tok::End) break;
            if (t.kind != Tok::Name) lex_.Fail(t.line, "expected a template or data object");
            if (t.text == "template") {
                SkipTemplate();
            } else if (t.text == "Frame") {
                out.frames.emplace_back();
                ParseFrame(out.frames.back(), 1);
            } else if (t.text == "Mesh") {
                out.meshes.emplace_back();
                ParseMesh(out.meshes.back(), 1);
            } else if (t.text == "Material") {
                XMaterialData m;
                ParseMaterial(m, 1);
                namedMaterials_.push_back(std::move(m));
            } else if (t.text == "AnimTicksPerSecond") {
                OpenObject();
                out.ticksPerSecond = ReadCount("ticks per second", 0);
                if (out.ticksPerSecond == 0) lex_.Fail(lex_.Line(), "ticks per second must not be 0");
                out.hasTicksPerSecond = true;
                CloseObject(1);
            } else if (t.text == "AnimationSet") {
                out.animationSets.emplace_back();
                ParseAnimationSet(out.animationSets.back(), 1);
            } else {
                SkipObjectBody(t, 1);
            }
        }
    }

private:
    // --- token helpers -------------------------------------------------

    // The next token, which must be a number.
    Token NumberToken(const char* what)
    {
        Token t;
        if (lex_.NextNumber(t)) return t;
        SkipSeparators();
        t = lex_.Next();
        if (t.kind != Tok::Number) Unexpected(t, what);
        return t;
    }

    void SkipSeparators()
    {
        while (lex_.Peek().kind == Tok::Comma || lex_.Peek().kind == Tok::Semicolon) lex_.Next();
    }

    void Expect(Tok kind, const char* what)
    {
        const Token t = lex_.Next();
        if (t.kind != kind) Unexpected(t, what);
    }

    [[noreturn]] void Unexpected(const Token& t, const char* what)
    {
        if (t.kind == Tok::End) lex_.Fail(t.line, std::string("unexpected end of file, expected ") + what);
        lex_.Fail(t.line, std::string("expected ") + what);
    }

    // After an object's type identifier: optional name, '{', optional GUID.
    std::string OpenObject()
    {
        std::string name;
        Token t = lex_.Next();
        if (t.kind == Tok::Name || t.kind == Tok::Number) {
            name.assign(t.text);
            t = lex_.Next();
        }
        if (t.kind != Tok::OpenBrace) Unexpected(t, "'{'");
        if (lex_.Peek().kind == Tok::Guid) lex_.Next();
        return name;
    }

    // Reads an object's members up to its '}'. A reference "{ name }" goes
    // to onReference with its name and the line of its '{'; a child object
    // to onMember with its identifier, which returns false to have it
    // skipped.
    template <class OnReference, class OnMember>
    void ReadMembers(int depth, OnReference&& onReference, OnMember&& onMember)
    {
        while (true) {
            SkipSeparators();
            const Token t = lex_.Next();
            if (t.kind == Tok::CloseBrace) return;
            if (t.kind == Tok::OpenBrace) {
                onReference(SkipReference(t), t.line);
                continue;
            }
            if (t.kind != Tok::Name) Unexpected(t, "'}'");
            if (!onMember(t)) SkipObjectBody(t, depth + 1);
        }
    }

    static void IgnoreReference(const std::string&, int) {}

    // Closes an object whose data has been read: separators, then '}'.
    // References and child objects are skipped.
    void CloseObject(int depth)
    {
        ReadMembers(depth, IgnoreReference, [](const Token&) { return false; });
    }

    void CheckDepth(int depth)
    {
        if (depth > MaxDepth) lex_.Fail(lex_.Line(), "objects nested too deeply");
    }

    // Skips "[name] { ... }" after an identifier, nested braces included.
    void SkipObjectBody(const Token& ident, int depth)
    {
        CheckDepth(depth);
        Token t = lex_.Next();
        if (t.kind == Tok::Name || t.kind == Tok::Number) t = lex_.Next();
        if (t.kind != Tok::OpenBrace) {
            lex_.Fail(ident.line, "expected '{' after '" + std::string(ident.text) + "'");
        }
        SkipToMatchingBrace();
    }

    void SkipToMatchingBrace()
    {
        long open = 1;
        while (open > 0) {
            const Token t = lex_.Next();
            if (t.kind == Tok::End) lex_.Fail(t.line, "unexpected end of file, expected '}'");
            if (t.kind == Tok::OpenBrace) ++open;
            else if (t.kind == Tok::CloseBrace) --open;
        }
    }

    void SkipTemplate()
    {
        const Token name = lex_.Next();
        if (name.kind != Tok::Name) Unexpected(name, "a template name");
        Expect(Tok::OpenBrace, "'{'");
        SkipToMatchingBrace();
    }

    // "{ name }", "{ <guid> }" or "{ name <guid> }", after its '{'.
    std::string SkipReference(const Token& open)
    {
        std::string name;
        Token t = lex_.Next();
        if (t.kind == Tok::Name || t.kind == Tok::Number) {
            name.assign(t.text);
            t = lex_.Next();
        }
        if (t.kind == Tok::Guid) t = lex_.Next();
        if (t.kind != Tok::CloseBrace) lex_.Fail(open.line, "malformed reference");
        return name;
    }

    // A whole number's value, saturating past 32 bits.
    static unsigned long long WholeValue(std::string_view text)
    {
        unsigned long long v = 0;
        for (const char c : text) {
            if (c < '0' || c > '9') continue;  // a leading '+'
            v = v * 10 + static_cast<unsigned>(c - '0');
            if (v > 0xFFFFFFFFull) return 0x100000000ull;
        }
        return v;
    }

    u32 ReadCount(const char* what, u32 bytesPerItem)
    {
        SkipSeparators();
        const Token t = lex_.Next();
        if (t.kind != Tok::Number) Unexpected(t, what);
        if (!t.isInteger || t.text[0] == '-') lex_.Fail(t.line, std::string(what) + " must be a whole number");
        const std::string_view s = t.text;
        const unsigned long long v = WholeValue(s);
        if (v > 0xFFFFFFFFull) lex_.Fail(t.line, std::string(what) + " is too large");
        // A count can never describe more items than bytes are left.
        if (bytesPerItem > 0 && v > lex_.Remaining() / bytesPerItem) {
            lex_.Fail(t.line, std::string(what) + " " + std::string(s) + " is more than the file holds");
        }
        return static_cast<u32>(v);
    }

    u32 ReadIndex(u32 limit, const char* what)
    {
        const Token t = NumberToken(what);
        if (!t.isInteger || t.text[0] == '-') lex_.Fail(t.line, std::string(what) + " must be a whole number");
        const unsigned long long v = WholeValue(t.text);
        if (v >= limit) {
            lex_.Fail(t.line, std::string(what) + " " + std::string(t.text) + " is out of range (" +
                                  std::to_string(limit) + " entries)");
        }
        return static_cast<u32>(v);
    }

    f32 ReadFloat()
    {
        const Token t = NumberToken("a number");
        const std::string s(t.text);
        const float v = std::strtof(s.c_str(), nullptr);
        if (!std::isfinite(v)) lex_.Fail(t.line, "number out of range");
        return v;
    }

    Vec3 ReadVec3()
    {
        Vec3 v;
        v.x = ReadFloat();
        v.y = ReadFloat();
        v.z = ReadFloat();
        return v;
    }

    Mat4 ReadMatrix()
    {
        Mat4 m;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) m.m[r][c] = ReadFloat();
        return m;
    }

    std::string ReadString(const char* what)
    {
        SkipSeparators();
        const Token t = lex_.Next();
        if (t.kind != Tok::String) Unexpected(t, what);
        return std::string(t.text);
    }

    // --- counting ------------------------------------------------------

    // Steps over n numbers without converting them.
    void SkipNumbers(u64 n, const char* what)
    {
        for (u64 i = 0; i < n; ++i) NumberToken(what);
    }

    void CheckStop() const
    {
        if (counts_->vertices > stop_.vertices || counts_->faces > stop_.faces || counts_->weights > stop_.weights)
            throw CountStop{};
    }

    static void AddSaturating(u64& total, u64 n) { total = n > ~0ull - total ? ~0ull : total + n; }

    void CountFrame(int depth)
    {
        CheckDepth(depth);
        OpenObject();
        ReadMembers(depth, IgnoreReference, [&](const Token& t) {
            if (t.text == "Frame") CountFrame(depth + 1);
            else if (t.text == "Mesh") CountMesh(depth + 1);
            else return false;
            return true;
        });
    }

    // What the build makes of one mesh, with the checks ParseMesh makes on
    // what is read here, so a file counted is one the loader reads as far as
    // its counts go. The build keeps a vertex per position for the first
    // normal its corners name and adds one for every other (position,
    // normal) pair; a skin entry is copied to every vertex of its position.
    void CountMesh(int depth)
    {
        CheckDepth(depth);
        OpenObject();
        const u32 nVertices = ReadCount("vertex count", 6);
        // Every position is at least one vertex: a declared count past the
        // budget stops here, before anything is walked.
        counts_->vertices += nVertices;
        CheckStop();
        SkipNumbers(u64(nVertices) * 3, "a number");
        const u32 nFaces = ReadCount("face count", 6);
        // Every polygon is at least one triangle.
        counts_->faces += nFaces;
        CheckStop();
        // The position of every corner and the corners of every face (the
        // count checked above bounds both by the file's size).
        std::vector<u32> cornerPosition;
        std::vector<u16> faceSizes(nFaces);
        cornerPosition.reserve(size_t(nFaces) * 3);
        for (u32 f = 0; f < nFaces; ++f) {
            const u32 n = ReadCount("face corner count", 2);
            if (n < 3 || n > MaxPolygonCorners) {
                lex_.Fail(lex_.Line(), "face " + std::to_string(f) + " has " + std::to_string(n) + " corners");
            }
            counts_->faces += n - 3;
            faceSizes[f] = static_cast<u16>(n);
            for (u32 k = 0; k < n; ++k) cornerPosition.push_back(ReadIndex(nVertices, "vertex index"));
        }
        CheckStop();
        bool hasNormals = false;
        std::vector<u32> firstNormal;  // per position, the normal its first corner names
        std::vector<u64> splits;       // (position << 32 | normal) of the other pairs, repeats included
        std::vector<u64> entriesOf;    // per position, the skin entries naming it
        ReadMembers(depth, IgnoreReference, [&](const Token& t) {
            if (t.text == "MeshNormals") {
                if (hasNormals) lex_.Fail(t.line, "second MeshNormals in one mesh");
                hasNormals = true;
                CountNormals(nVertices, faceSizes, cornerPosition, firstNormal, splits, depth + 1);
            } else if (t.text == "SkinWeights") {
                if (entriesOf.empty()) entriesOf.assign(nVertices, 0);
                CountSkinWeights(nVertices, entriesOf, depth + 1);
            } else {
                return false;
            }
            return true;
        });
        std::sort(splits.begin(), splits.end());
        splits.erase(std::unique(splits.begin(), splits.end()), splits.end());
        AddSaturating(counts_->vertices, splits.size());
        if (!entriesOf.empty()) {
            for (const u64 pair : splits) AddSaturating(counts_->weights, entriesOf[pair >> 32]);
        }
        CheckStop();
    }

    void CountNormals(u32 nVertices, const std::vector<u16>& faceSizes, const std::vector<u32>& cornerPosition,
                      std::vector<u32>& firstNormal, std::vector<u64>& splits, int depth)
    {
        OpenObject();
        const u32 nNormals = ReadCount("normal count", 6);
        SkipNumbers(u64(nNormals) * 3, "a number");
        const int line = lex_.Line();
        const u32 nFaces = ReadCount("normal face count", 6);
        if (nFaces != faceSizes.size()) {
            lex_.Fail(line, "MeshNormals has " + std::to_string(nFaces) + " faces, the mesh " +
                                std::to_string(faceSizes.size()));
        }
        firstNormal.assign(nVertices, NoNormal);
        size_t corner = 0;
        // The pairs are made unique whenever they double, so they take no
        // more than twice the room of the distinct ones, and a file whose
        // distinct pairs alone pass the stop value ends the count there.
        size_t uniqueAt = size_t(1) << 16;
        const auto makeUnique = [&] {
            std::sort(splits.begin(), splits.end());
            splits.erase(std::unique(splits.begin(), splits.end()), splits.end());
            if (counts_->vertices + splits.size() > stop_.vertices) {
                counts_->vertices += splits.size();
                throw CountStop{};
            }
            uniqueAt = std::max(uniqueAt, splits.size() * 2);
        };
        for (u32 f = 0; f < nFaces; ++f) {
            const int fl = lex_.Line();
            const u32 n = ReadCount("face corner count", 2);
            if (n != faceSizes[f]) {
                lex_.Fail(fl, "normal face " + std::to_string(f) + " has " + std::to_string(n) +
                                  " corners, the mesh face " + std::to_string(faceSizes[f]));
            }
            for (u32 k = 0; k < n; ++k, ++corner) {
                const u32 normal = ReadIndex(nNormals, "normal index");
                const u32 p = cornerPosition[corner];
                if (firstNormal[p] == NoNormal) firstNormal[p] = normal;
                else if (firstNormal[p] != normal) splits.push_back(u64(p) << 32 | normal);
                if (splits.size() >= uniqueAt) makeUnique();
            }
        }
        CloseObject(depth);
    }

    void CountSkinWeights(u32 nVertices, std::vector<u64>& entriesOf, int depth)
    {
        OpenObject();
        ReadString("a bone name");
        const u32 n = ReadCount("weight count", 4);
        // Each entry is at least the one vertex of its position.
        AddSaturating(counts_->weights, n);
        CheckStop();
        for (u32 i = 0; i < n; ++i) ++entriesOf[ReadIndex(nVertices, "skin vertex index")];
        SkipNumbers(u64(n) + 16, "a number");
        CloseObject(depth);
    }

    // --- objects -------------------------------------------------------

    void ParseFrame(XFrameData& frame, int depth)
    {
        CheckDepth(depth);
        frame.name = OpenObject();
        // References to other frames or meshes are not followed.
        ReadMembers(depth, IgnoreReference, [&](const Token& t) {
            if (t.text == "FrameTransformMatrix") {
                OpenObject();
                frame.transform = ReadMatrix();
                CloseObject(depth + 1);
            } else if (t.text == "Frame") {
                frame.children.emplace_back();
                ParseFrame(frame.children.back(), depth + 1);
            } else if (t.text == "Mesh") {
                frame.meshes.emplace_back();
                ParseMesh(frame.meshes.back(), depth + 1);
            } else {
                return false;
            }
            return true;
        });
    }

    void ParseMesh(XMeshData& mesh, int depth)
    {
        CheckDepth(depth);
        mesh.name = OpenObject();
        const u32 nVertices = ReadCount("vertex count", 6);
        mesh.positions.resize(nVertices);
        for (u32 i = 0; i < nVertices; ++i) mesh.positions[i] = ReadVec3();
        const u32 nFaces = ReadCount("face count", 6);
        mesh.faceSizes.resize(nFaces);
        for (u32 f = 0; f < nFaces; ++f) {
            const u32 n = ReadCount("face corner count", 2);
            if (n < 3 || n > MaxPolygonCorners) {
                lex_.Fail(lex_.Line(), "face " + std::to_string(f) + " has " + std::to_string(n) + " corners");
            }
            mesh.faceSizes[f] = n;
            for (u32 k = 0; k < n; ++k) mesh.faceIndices.push_back(ReadIndex(nVertices, "vertex index"));
        }
        ReadMembers(depth, IgnoreReference, [&](const Token& t) {
            if (t.text == "MeshNormals") {
                if (mesh.hasNormals) lex_.Fail(t.line, "second MeshNormals in one mesh");
                ParseNormals(mesh, depth + 1);
            } else if (t.text == "MeshTextureCoords") {
                if (mesh.hasTexCoords) lex_.Fail(t.line, "second MeshTextureCoords in one mesh");
                ParseTexCoords(mesh, depth + 1);
            } else if (t.text == "MeshMaterialList") {
                if (mesh.hasMaterialList) lex_.Fail(t.line, "second MeshMaterialList in one mesh");
                ParseMaterialList(mesh, depth + 1);
            } else if (t.text == "XSkinMeshHeader") {
                OpenObject();
                mesh.hasSkinHeader = true;
                mesh.maxWeightsPerVertex = ReadCount("weights per vertex", 0);
                mesh.maxWeightsPerFace = ReadCount("weights per face", 0);
                mesh.boneCount = ReadCount("bone count", 0);
                CloseObject(depth + 1);
            } else if (t.text == "SkinWeights") {
                mesh.skinWeights.emplace_back();
                ParseSkinWeights(mesh.skinWeights.back(), nVertices, depth + 1);
            } else {
                return false;
            }
            return true;
        });
        if (mesh.hasSkinHeader && mesh.boneCount != mesh.skinWeights.size()) {
            lex_.Fail(lex_.Line(), "mesh '" + mesh.name + "' declares " + std::to_string(mesh.boneCount) +
                                       " bones but has " + std::to_string(mesh.skinWeights.size()) +
                                       " SkinWeights");
        }
    }

    void ParseNormals(XMeshData& mesh, int depth)
    {
        OpenObject();
        const u32 nNormals = ReadCount("normal count", 6);
        mesh.normals.resize(nNormals);
        for (u32 i = 0; i < nNormals; ++i) mesh.normals[i] = ReadVec3();
        const int line = lex_.Line();
        const u32 nFaces = ReadCount("normal face count", 6);
        if (nFaces != mesh.faceSizes.size()) {
            lex_.Fail(line, "MeshNormals has " + std::to_string(nFaces) + " faces, the mesh " +
                                std::to_string(mesh.faceSizes.size()));
        }
        mesh.normalIndices.reserve(mesh.faceIndices.size());
        for (u32 f = 0; f < nFaces; ++f) {
            const int fl = lex_.Line();
            const u32 n = ReadCount("face corner count", 2);
            if (n != mesh.faceSizes[f]) {
                lex_.Fail(fl, "normal face " + std::to_string(f) + " has " + std::to_string(n) +
                                  " corners, the mesh face " + std::to_string(mesh.faceSizes[f]));
            }
            for (u32 k = 0; k < n; ++k) mesh.normalIndices.push_back(ReadIndex(nNormals, "normal index"));
        }
        mesh.hasNormals = true;
        CloseObject(depth);
    }

    void ParseTexCoords(XMeshData& mesh, int depth)
    {
        OpenObject();
        const int line = lex_.Line();
        const u32 n = ReadCount("texture coordinate count", 4);
        if (n != mesh.positions.size()) {
            lex_.Fail(line, "MeshTextureCoords has " + std::to_string(n) + " entries for " +
                                std::to_string(mesh.positions.size()) + " vertices");
        }
        mesh.texCoords.resize(n);
        for (u32 i = 0; i < n; ++i) {
            mesh.texCoords[i].x = ReadFloat();
            mesh.texCoords[i].y = ReadFloat();
        }
        mesh.hasTexCoords = true;
        CloseObject(depth);
    }

    void ParseMaterialList(XMeshData& mesh, int depth)
    {
        OpenObject();
        const u32 nMaterials = ReadCount("material count", 2);
        const int line = lex_.Line();
        const u32 nIndexes = ReadCount("face material count", 2);
        const u32 nFaces = static_cast<u32>(mesh.faceSizes.size());
        if (nIndexes > nFaces) {
            lex_.Fail(line, "material list names " + std::to_string(nIndexes) + " faces, the mesh has " +
                                std::to_string(nFaces));
        }
        if (nIndexes == 0 && nFaces > 0) lex_.Fail(line, "material list gives no face materials");
        mesh.faceMaterials.resize(nFaces);
        for (u32 f = 0; f < nIndexes; ++f) mesh.faceMaterials[f] = ReadIndex(nMaterials, "material index");
        // A short list repeats its last entry for the remaining faces.
        for (u32 f = nIndexes; f < nFaces; ++f) mesh.faceMaterials[f] = mesh.faceMaterials[nIndexes - 1];
        const auto byName = [&](const std::string& ref, int refLine) {
            const XMaterialData* found = nullptr;
            for (const XMaterialData& m : namedMaterials_) {
                if (m.name == ref) found = &m;
            }
            if (!found) lex_.Fail(refLine, "unknown material '" + ref + "'");
            mesh.materials.push_back(*found);
        };
        ReadMembers(depth, byName, [&](const Token& t) {
            if (t.text != "Material") return false;
            mesh.materials.emplace_back();
            ParseMaterial(mesh.materials.back(), depth + 1);
            return true;
        });
        if (mesh.materials.size() != nMaterials) {
            lex_.Fail(line, "material list declares " + std::to_string(nMaterials) + " materials but gives " +
                                std::to_string(mesh.materials.size()));
        }
        mesh.hasMaterialList = true;
    }

    void ParseMaterial(XMaterialData& m, int depth)
    {
        CheckDepth(depth);
        m.name = OpenObject();
        m.faceColor.r = ReadFloat();
        m.faceColor.g = ReadFloat();
        m.faceColor.b = ReadFloat();
        m.faceColor.a = ReadFloat();
        m.power = ReadFloat();
        m.specular = ReadVec3();
        m.emissive = ReadVec3();
        ReadMembers(depth, IgnoreReference, [&](const Token& t) {
            if (t.text != "TextureFilename" && t.text != "TextureFileName") return false;
            OpenObject();
            m.textureFile = ReadString("a texture file name");
            CloseObject(depth + 1);
            return true;
        });
    }

    void ParseSkinWeights(XSkinWeightsData& s, u32 nVertices, int depth)
    {
        OpenObject();
        s.boneName = ReadString("a bone name");
        const u32 n = ReadCount("weight count", 4);
        s.vertices.resize(n);
        s.weights.resize(n);
        for (u32 i = 0; i < n; ++i) s.vertices[i] = ReadIndex(nVertices, "skin vertex index");
        for (u32 i = 0; i < n; ++i) s.weights[i] = ReadFloat();
        s.offset = ReadMatrix();
        CloseObject(depth);
    }

    void ParseAnimationSet(XAnimationSetData& set, int depth)
    {
        set.name = OpenObject();
        ReadMembers(depth, IgnoreReference, [&](const Token& t) {
            if (t.text != "Animation") return false;
            set.animations.emplace_back();
            ParseAnimation(set.animations.back(), depth + 1);
            return true;
        });
    }

    void ParseAnimation(XAnimationData& anim, int depth)
    {
        OpenObject();
        bool named = false;
        const auto frameReference = [&](const std::string& ref, int) {
            if (named) return;
            anim.frameName = ref;
            named = true;
        };
        ReadMembers(depth, frameReference, [&](const Token& t) {
            if (t.text != "AnimationKey") return false;
            ParseAnimationKey(anim, depth + 1);
            return true;
        });
        if (!named) lex_.Fail(lex_.Line(), "animation without a frame reference");
    }

    void ParseAnimationKey(XAnimationData& anim, int depth)
    {
        OpenObject();
        const int typeLine = lex_.Line();
        const u32 type = ReadCount("key type", 0);
        if (type > 4) lex_.Fail(typeLine, "unknown key type " + std::to_string(type));
        const u32 nKeys = ReadCount("key count", 6);
        const u32 want = type == 0 ? 4 : (type <= 2 ? 3 : 16);
        for (u32 k = 0; k < nKeys; ++k) {
            const u32 time = ReadCount("key time", 0);
            const int line = lex_.Line();
            const u32 nValues = ReadCount("key value count", 0);
            if (nValues != want) {
                lex_.Fail(line, "key has " + std::to_string(nValues) + " values, its type needs " +
                                    std::to_string(want));
            }
            if (type == 0) {
                Quat q;
                q.w = ReadFloat();
                q.x = ReadFloat();
                q.y = ReadFloat();
                q.z = ReadFloat();
                anim.rotations.push_back({time, q});
            } else if (type == 1) {
                anim.scales.push_back({time, ReadVec3()});
            } else if (type == 2) {
                anim.translations.push_back({time, ReadVec3()});
            } else {
                anim.matrices.push_back({time, ReadMatrix()});
            }
        }
        CloseObject(depth);
    }

    Lexer lex_;
    std::vector<XMaterialData> namedMaterials_;
    XFileCounts* counts_ = nullptr;
    XFileCounts stop_;
};

// The header every text X file starts with; "" when it is one.
std::string HeaderProblem(const char* p, size_t size)
{
    if (!p || size < 16 || std::memcmp(p, "xof ", 4) != 0) return "line 1: not an X file";
    const std::string_view format(p + 8, 4);
    if (format != "txt ") return "line 1: only text X files are read (format '" + std::string(format) + "')";
    const std::string_view floatSize(p + 12, 4);
    if (floatSize != "0032" && floatSize != "0064") return "line 1: unknown float size '" + std::string(floatSize) + "'";
    return {};
}

}  // namespace

bool ParseXFile(const void* data, size_t size, XFileData& out, std::string& error)
{
    out = XFileData();
    error.clear();
    const char* p = static_cast<const char*>(data);
    error = HeaderProblem(p, size);
    if (!error.empty()) return false;
    try {
        Parser parser(p + 16, p + size);
        parser.ParseFile(out);
    } catch (const ParseFailure& f) {
        error = f.message;
        out = XFileData();
        return false;
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        out = XFileData();
        return false;
    }
    return true;
}

bool CountXFile(const void* data, size_t size, XFileCounts& out, std::string& error, const XFileCounts& stopAbove)
{
    out = XFileCounts();
    const char* p = static_cast<const char*>(data);
    error = HeaderProblem(p, size);
    if (!error.empty()) return false;
    try {
        Parser parser(p + 16, p + size);
        parser.CountFile(out, stopAbove);
    } catch (const CountStop&) {
    } catch (const ParseFailure& f) {
        error = f.message;
        return false;
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        return false;
    }
    return true;
}

}  // namespace plat
