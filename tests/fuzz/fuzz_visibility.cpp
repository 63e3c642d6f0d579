// The visibility rules on any personnel record under restrictions the fuzzer picks
// (QX_* values of its choosing, OR and AND mode, a person list), read from a real file
// of an installation through read_record: never a fault, and the same verdict whatever
// spelling of the file's name is used to read it, whether the record's field ends are
// converted or not, and from read_visible_record and a scan.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/env.h"
#include "support/config.h"
#include "support/file_table.h"
#include "support/install_dirs.h"
#include "support/language_names.h"
#include "visibility/records.h"
#include "visibility/personnel_filter.h"

namespace {

constexpr std::size_t kLength = 1430;
constexpr const char* kVariables[] = {"QX_AFD", "QX_PEE", "QX_AND", "QX_PLIST", "QX_ORGUN", "QX_DATP",
                                      "QX_TEAM", "QX_MA", "QX_UITZ", "QX_FUN", "QX_AFD_PP", "QX_PEE_PP"};
std::string root;  // a copy of the sample installation of the run's own

void remove_root() { std::system(("rm -rf '" + root + "'").c_str()); }

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char dir[] = "/tmp/qx-fuzz-visibility-XXXXXX";
    if (mkdtemp(dir) == nullptr) std::abort();
    root = dir;
    const std::string copy = "cp -r '" QX_SOURCE_DIR "/examples/installation/.' '" + root + "'";
    if (std::system(copy.c_str()) != 0) std::abort();
    std::atexit(remove_root);
    qx::platform::set_env("QXBASE", root.c_str());
    qx::platform::set_env("HOME", (root + "/home").c_str());
    qx::platform::set_env("VELMORA_REGISTRY", "/nonexistent/registry.reg");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Variables: "NAME-INDEX=VALUE" pieces up to the first NUL; the rest is the record.
    std::size_t at = 0;
    std::string settings;
    while (at < size && data[at] != 0) settings += static_cast<char>(data[at++]);
    ++at;
    std::string record(kLength, ' ');
    for (std::size_t i = 0; at + i < size && i < kLength; ++i) record[i] = static_cast<char>(data[at + i]);

    for (const char* name : kVariables) qx::platform::set_env(name, nullptr);
    for (std::size_t start = 0; start < settings.size();) {
        std::size_t end = settings.find(';', start);
        if (end == std::string::npos) end = settings.size();
        const std::string piece = settings.substr(start, end - start);
        if (!piece.empty()) {
            const std::string value = piece.substr(1);
            qx::platform::set_env(kVariables[static_cast<unsigned char>(piece[0]) % std::size(kVariables)],
                                  value.c_str());
        }
        start = end + 1;
    }
    qx::config::forget_config_vars();
    qx::visibility::forget_filter_state();
    // Any record, no harm; and the same verdict whether its field ends are "~", as the
    // file holds them, or converted, as read_record gives them.
    std::string converted = record;
    for (std::size_t i = 1; i < converted.size(); ++i) {
        if (converted[i] == '~') converted[i] = '\0';
    }
    check(qx::visibility::personnel_filter(record.data(), record.size()) ==
          qx::visibility::personnel_filter(converted.data(), converted.size()));

    // The record as person 1 of the installation's file, read under several spellings.
    qx::table::table_close("vst/pers.172");
    std::FILE* file = std::fopen((root + "/vst/pers.172").c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(record.data(), 1, record.size(), file);
    std::fclose(file);
    std::string buffer(kLength, '\0');
    const int verdict = qx::records::read_record("vst/pers.172", 1, kLength, buffer.data());
    check(buffer == converted);
    // A scan's reader: the same verdict, the record converted only when it is returned.
    check(qx::records::read_visible_record("vst/pers.172", 1, kLength, buffer.data()) == verdict);
    check(buffer == (verdict == qx::records::kReadOk ? converted : record));
    // A scan: the same verdict and record, then the end.
    qx::records::RecordScan scan("vst/pers.172", kLength);
    check(scan.next() == verdict && scan.number() == 1);
    check(std::string(scan.record(), kLength) == (verdict == qx::records::kReadOk ? converted : record));
    check(scan.next() == qx::records::kShortRead && scan.next() == qx::records::kShortRead);
    for (const std::string& spelling : {std::string("vst\\pers.172"), std::string("vst//./pers.172"),
                                        std::string("./vst/pers.172"), root + "/vst/../vst/pers.172"}) {
        check(qx::records::read_record(spelling.c_str(), 1, kLength, buffer.data()) == verdict);
    }
    return 0;
}
