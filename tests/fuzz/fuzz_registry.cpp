// The registry file of Linux installations: any bytes as the .reg file, every value
// enumerated with buffers of every size the fuzzer picks, and every value expanded. The
// buffer rules hold: a value that fits comes whole and terminated, one that does not
// reports the size it needs and leaves the buffers alone.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "platform/env.h"
#include "platform/registry.h"

namespace {

std::string registry_file;  // the run's own file, rewritten for every input

void remove_file() { unlink(registry_file.c_str()); }

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char name[] = "/tmp/qx-fuzz-registry-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    registry_file = name;
    std::atexit(remove_file);
    qx::platform::set_env("VELMORA_REGISTRY", registry_file.c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qx::platform;
    const unsigned long buffer_size = size > 0 ? data[0] : 255;  // buffers of the fuzzer's size
    std::FILE* file = std::fopen(registry_file.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    RegistryKey* key = nullptr;
    if (registry_open("Software\\Velmora", &key) != kRegSuccess) return 0;
    for (unsigned long index = 0; index < 10000; ++index) {
        char name[256];
        unsigned char value[256];
        std::memset(name, 'N', sizeof name);
        std::memset(value, 'V', sizeof value);
        unsigned long name_size = buffer_size;
        unsigned long data_size = buffer_size;
        const long result = registry_enum_value(key, index, name, &name_size, value, &data_size);
        if (result == kRegNoMoreItems) break;
        if (result == kRegMoreData) {
            check(name_size == buffer_size && (name[0] == 'N' && value[0] == 'V'));
            continue;
        }
        check(result == kRegSuccess);
        check(name_size < buffer_size && name[name_size] == '\0' && data_size <= buffer_size);
        char expanded[300];
        value[data_size < sizeof value ? data_size : sizeof value - 1] = '\0';
        const unsigned long needed = expand_environment(reinterpret_cast<const char*>(value), expanded, sizeof expanded);
        check(needed == 0 || needed > sizeof expanded || std::strlen(expanded) + 1 == needed);
    }
    registry_close(key);
    return 0;
}
