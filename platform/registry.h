// The registry, as far as the library reads it: the values of a key under
// HKEY_LOCAL_MACHINE, enumerated by index with the buffer rules of RegEnumValueA, and
// the expansion of %NAME% references as ExpandEnvironmentStringsA does it. On Windows
// these are the four system calls; on Linux the key lives in a text file in the Windows
// .reg export format (see platform/linux/registry.cpp). No state beyond an open key.
#pragma once

#include <cstddef>
#include <string>

namespace qx::platform {

// Results, with their Windows values.
inline constexpr long kRegSuccess = 0;
inline constexpr long kRegFileNotFound = 2;
inline constexpr long kRegMoreData = 234;
inline constexpr long kRegNoMoreItems = 259;

struct RegistryKey;  // an open key

// Opens HKEY_LOCAL_MACHINE\`subkey` for reading: kRegSuccess and *key, or an error.
long registry_open(const char* subkey, RegistryKey** key);

// Reads value `index` of `key`. In: *name_size and *data_size are the sizes of the
// buffers (the name's counting its terminator). Out on success: the name (terminated)
// and its length without terminator, the data and its size (a string's data counts its
// terminator). kRegMoreData when the name or the data does not fit (then *name_size is
// unchanged, *data_size is the size needed, and neither buffer is written);
// kRegNoMoreItems past the last value.
long registry_enum_value(RegistryKey* key, unsigned long index, char* name, unsigned long* name_size,
                         unsigned char* data, unsigned long* data_size);

void registry_close(RegistryKey* key);

// Expands %NAME% references in `source` into `dest` (size bytes): names are looked up
// ignoring case; an unknown name, a lone "%" and "%%" stay as they are. Returns the size
// of the expansion including its terminator; a result above `size` means it did not fit
// and `dest` must not be used. 0 on failure.
unsigned long expand_environment(const char* source, char* dest, unsigned long size);

// Why the registry could not be read at the last registry_open, for tools to show: on
// Linux a registry file that exists but cannot be read or is no registry export (an
// absent file is no problem: the registry is then empty). Empty when there was none,
// and always on Windows.
std::string registry_problem();

}  // namespace qx::platform
