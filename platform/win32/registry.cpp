// The registry on Windows: RegOpenKeyExA, RegEnumValueA, RegCloseKey and
// ExpandEnvironmentStringsA.
#include "platform/registry.h"

#include <windows.h>

namespace qx::platform {

struct RegistryKey {
    HKEY handle;
};

long registry_open(const char* subkey, RegistryKey** key) {
    HKEY handle = nullptr;
    const LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, &handle);
    if (result != ERROR_SUCCESS) return result;
    *key = new RegistryKey{handle};
    return kRegSuccess;
}

long registry_enum_value(RegistryKey* key, unsigned long index, char* name, unsigned long* name_size,
                         unsigned char* data, unsigned long* data_size) {
    DWORD name_length = *name_size;
    DWORD data_length = *data_size;
    const LONG result = RegEnumValueA(key->handle, index, name, &name_length, nullptr, nullptr, data, &data_length);
    if (result == ERROR_SUCCESS) *name_size = name_length;
    *data_size = data_length;
    return result;
}

void registry_close(RegistryKey* key) {
    RegCloseKey(key->handle);
    delete key;
}

unsigned long expand_environment(const char* source, char* dest, unsigned long size) {
    return ExpandEnvironmentStringsA(source, dest, size);
}

std::string registry_problem() { return ""; }

}  // namespace qx::platform
