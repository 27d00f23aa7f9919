#include "app/player/GameItem.h"

#include <cstring>

#include "app/core/ByteIo.h"
#include "platform/core/TextCodec.h"

CGameItemBase::CGameItemBase(u32 id)
    : partId(id), name{}, description{}, colour(0xFFFFFFFFu), grade(0), reserved{}
{
}

void CGameItemBase::SetText(const char* newName, const char* newDescription)
{
    plat::Utf8CopyTruncated(name, sizeof name, newName ? newName : "");
    plat::Utf8CopyTruncated(description, sizeof description, newDescription ? newDescription : "");
}

CGameItem_PowerUp::CGameItem_PowerUp(u32 id) : CGameItemBase(id), bonus{}, extra{}, wireSpare{} {}

void CGameItem_PowerUp::WriteWireRecord(u8 out[PartWireRecordSize]) const
{
    std::memset(out, 0, PartWireRecordSize);
    std::memcpy(out, name, sizeof name);
    std::memcpy(out + 50, description, sizeof description);
    out[306] = wireSpare[0];
    out[307] = wireSpare[1];
    PutU32(out + 308, colour);
    PutU32(out + 312, u32(grade));
    u8 block[40];
    for (int i = 0; i < 10; ++i) PutU32(block + 4 * i, reserved[i]);
    std::memcpy(out + 316, block, 38);
    for (int i = 0; i < 10; ++i) PutU16(out + 354 + 2 * i, u16(bonus[i]));
    for (int i = 0; i < 10; ++i) PutU32(out + 374 + 4 * i, extra[i]);
}

void CGameItem_PowerUp::ReadWireRecord(const u8 in[PartWireRecordSize])
{
    ReadFixedText(name, in, sizeof name);
    ReadFixedText(description, in + 50, sizeof description);
    wireSpare[0] = in[306];
    wireSpare[1] = in[307];
    colour = GetU32(in + 308);
    grade = i32(GetU32(in + 312));
    // The last two bytes of the reserved block do not travel; keep ours.
    u8 block[40];
    for (int i = 0; i < 10; ++i) PutU32(block + 4 * i, reserved[i]);
    std::memcpy(block, in + 316, 38);
    for (int i = 0; i < 10; ++i) reserved[i] = GetU32(block + 4 * i);
    for (int i = 0; i < 10; ++i) bonus[i] = i16(GetU16(in + 354 + 2 * i));
    for (int i = 0; i < 10; ++i) extra[i] = GetU32(in + 374 + 4 * i);
}

void CGameItem_PowerUp::WriteFileRecord(u8 out[PartFileRecordSize]) const
{
    PutU32(out, partId);
    PutU32(out + 4, u32(GetKind()));
    std::memcpy(out + 8, name, sizeof name);
    std::memcpy(out + 58, description, sizeof description);
    PutU32(out + 314, colour);
    PutU32(out + 318, u32(grade));
    for (int i = 0; i < 10; ++i) PutU32(out + 322 + 4 * i, reserved[i]);
    for (int i = 0; i < 10; ++i) PutU32(out + 362 + 4 * i, u16(bonus[i]));
    for (int i = 0; i < 10; ++i) PutU32(out + 402 + 4 * i, extra[i]);
}

void CGameItem_PowerUp::ReadFileRecord(const u8 in[PartFileRecordSize])
{
    partId = GetU32(in);
    ReadFixedText(name, in + 8, sizeof name);
    ReadFixedText(description, in + 58, sizeof description);
    colour = GetU32(in + 314);
    grade = i32(GetU32(in + 318));
    for (int i = 0; i < 10; ++i) reserved[i] = GetU32(in + 322 + 4 * i);
    for (int i = 0; i < 10; ++i) bonus[i] = i16(GetU16(in + 362 + 4 * i));
    for (int i = 0; i < 10; ++i) extra[i] = GetU32(in + 402 + 4 * i);
}
