#include "engine/core/Direct3DRegistry.h"

#include "platform/core/Registry.h"

namespace {

const char* const kKeyPath = "software\\Microsoft\\Direct3D";
const char* const kValues[] = {"DisablePSGP", "DisableD3DXPSGP"};

}  // namespace

void DisablePSGP() {
    plat::RegistryKey key;
    if (!key.Open(kKeyPath)) return;
    for (const char* name : kValues) {
        u32 value = 0;
        if (!key.QueryDword(name, value)) value = 0;
        if (value == 0) key.SetDword(name, 1);
    }
    key.Flush();
    key.Close();
}

void RestorePSGP() {
    plat::RegistryKey key;
    if (!key.Open(kKeyPath)) return;
    for (const char* name : kValues) {
        u32 value = 0;
        if (key.QueryDword(name, value) && value == 1) key.SetDword(name, 0);
    }
    key.Flush();
    key.Close();
}
