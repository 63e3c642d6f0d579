// qxtool's batch runner on any input: every operation of the library, with arguments the
// fuzzer chooses, against the sample installation (data files, catalogues, language
// table, scans under the visibility rules). Each line gives at least one result line.
#include <sstream>

#include "tools/qxtool/commands.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qx::fuzz::use_installation_copy("qx-fuzz-qxtool-batch");
    qx::platform::set_env("QX_AFD", "10,20");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::istringstream in(input);
    std::ostringstream out, err;
    const long failed = qx::tool::run_batch(in, out, err);
    const auto lines = std::count(input.begin(), input.end(), '\n') + (!input.empty() && input.back() != '\n');
    const std::string results = out.str();
    qx::fuzz::check(failed >= 0 && failed <= lines && std::count(results.begin(), results.end(), '\n') >= lines);
    return 0;
}
