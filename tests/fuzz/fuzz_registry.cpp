// The registry file of Linux installations: any bytes as the .reg file, every value
// enumerated with buffers of every size the fuzzer picks, and every value expanded. The
// buffer rules hold: a value that fits comes whole and terminated, one that does not
// reports the size it needs and leaves the buffers alone.
#include <fstream>

#include "platform/registry.h"
#include "tests/fuzz/fuzz_support.h"

using qx::fuzz::check;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qx::fuzz::use_installation_copy("qx-fuzz-registry");  // the run's own folder
    qx::platform::set_env("VELMORA_REGISTRY", (qx::fuzz::root + "/registry.reg").c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qx::platform;
    const unsigned long buffer_size = size > 0 ? data[0] : 255;  // buffers of the fuzzer's size
    std::ofstream(qx::fuzz::root + "/registry.reg", std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    RegistryKey* key = nullptr;
    if (registry_open("Software\\Velmora", &key) != kRegSuccess) return 0;
    for (unsigned long index = 0; index < 10000; ++index) {
        char name[256];
        unsigned char value[256];
        std::memset(name, 'N', sizeof name);
        std::memset(value, 'V', sizeof value);
        unsigned long name_size = buffer_size, data_size = buffer_size;
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
