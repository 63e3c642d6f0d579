// The visibility rules on any personnel record under restrictions the fuzzer picks
// (QX_* values of its choosing, OR and AND mode, a person list), read from a real file
// of an installation through read_record: never a fault, and the same verdict whatever
// spelling of the file's name is used to read it, whether the record's field ends are
// converted or not, and from read_visible_record and a scan.
#include <fstream>

#include "support/config.h"
#include "support/file_table.h"
#include "tests/fuzz/fuzz_support.h"
#include "visibility/personnel_filter.h"
#include "visibility/records.h"

namespace {

using qx::fuzz::check;
using qx::records::kReadOk;
constexpr std::size_t kLength = 1430;
constexpr const char* kVariables[] = {"QX_AFD", "QX_PEE", "QX_AND", "QX_PLIST", "QX_ORGUN", "QX_DATP",
                                      "QX_TEAM", "QX_MA", "QX_UITZ", "QX_FUN", "QX_AFD_PP", "QX_PEE_PP"};

// Sets the variables of "NAME-INDEX VALUE;..." pieces (the first byte chooses the name).
void set_variables(const std::string& settings) {
    for (const char* name : kVariables) qx::platform::set_env(name, nullptr);
    for (std::size_t start = 0, end; start < settings.size(); start = end + 1) {
        end = std::min(settings.find(';', start), settings.size());
        if (end == start) continue;
        qx::platform::set_env(kVariables[static_cast<unsigned char>(settings[start]) % std::size(kVariables)],
                              settings.substr(start + 1, end - start - 1).c_str());
    }
    qx::config::forget_config_vars();
    qx::visibility::forget_filter_state();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qx::fuzz::use_installation_copy("qx-fuzz-visibility");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Variables up to the first NUL; the rest is the record.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = std::min(input.find('\0'), size);
    set_variables(input.substr(0, nul));
    std::string record = nul < size ? input.substr(nul + 1, kLength) : "";
    record.resize(kLength, ' ');
    // Any record, no harm; and the same verdict whether its field ends are "~", as the
    // file holds them, or converted, as read_record gives them.
    std::string converted = record;
    for (std::size_t i = 1; i < converted.size(); ++i) converted[i] = converted[i] == '~' ? '\0' : converted[i];
    check(qx::visibility::personnel_filter(record.data(), kLength) ==
          qx::visibility::personnel_filter(converted.data(), kLength));

    // The record as person 1 of the installation's file, read under several spellings.
    qx::table::table_close("vst/pers.172");
    std::ofstream(qx::fuzz::root + "/vst/pers.172", std::ios::binary) << record;
    std::string buffer(kLength, '\0');
    const int verdict = qx::records::read_record("vst/pers.172", 1, kLength, buffer.data());
    check(buffer == converted);
    // A scan's reader: the same verdict, the record converted only when it is returned.
    check(qx::records::read_visible_record("vst/pers.172", 1, kLength, buffer.data()) == verdict);
    check(buffer == (verdict == kReadOk ? converted : record));
    qx::records::RecordScan scan("vst/pers.172", kLength);
    check(scan.next() == verdict && scan.number() == 1);
    check(std::string(scan.record(), kLength) == (verdict == kReadOk ? converted : record));
    check(scan.next() == qx::records::kShortRead && scan.next() == qx::records::kShortRead);
    for (const std::string& spelling : {std::string("vst\\pers.172"), std::string("vst//./pers.172"),
                                        std::string("./vst/pers.172"), qx::fuzz::root + "/vst/../vst/pers.172"}) {
        check(qx::records::read_record(spelling.c_str(), 1, kLength, buffer.data()) == verdict);
    }
    return 0;
}
