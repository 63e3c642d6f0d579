// Uses a few operations of the installed library and checks their results: exit 0 and
// "ok" when all are right, else the first that is not. Then walks the ways a program can
// change its environment between calls (setenv, unsetenv, clearenv, putenv and an edited
// putenv buffer, a new environ) and checks that the variables the library reads at every
// call (QX_MA and QX_KLKGROUP in the visibility rules, QX_ENGDATE in date texts) are read
// as the environment holds them at each call.
#include <qx/support/datetime/date_text.h>
#include <qx/support/path_search.h>  // which includes another header of the library
#include <qx/support/record.h>
#include <qx/version.h>  // generated at build time, installed with the others

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

// The numbers of the records of `file` a restricted user sees, as "3 5".
std::string visible(const char* file, int length) {
    std::string record(static_cast<std::size_t>(length), '\0'), numbers;
    int code = 0;
    for (int n = 1; code != qx::records::kShortRead && code != qx::records::kOpenFailed; ++n) {
        code = qx::records::read_record(file, n, length, record.data());
        if (code == qx::records::kReadOk) numbers += (numbers.empty() ? "" : " ") + std::to_string(n);
    }
    return numbers;
}

std::string persons() {
    const std::string all = visible("vst/pers.172", 1430);
    return all.size() > 20 ? "all" : all;
}

std::string date() {
    char text[32];
    return qx::datetime::date_text(101014, "dmjl", text, sizeof text);
}

char user3[] = "QX_MA=user3";
char other[] = "ZZZZZ=user7";
char group[] = "YY_KLKGROUP=5";
char engdate_entry[] = "QX_ENGDATE=1";
char* month_first_environ[] = {engdate_entry, nullptr};
char* empty_environ[] = {nullptr};

// The installation's own variables, set again after the environment was emptied.
const char* const kInstallation[] = {"QXBASE", "HOME", "VELMORA_REGISTRY"};
std::string saved[3];

void installation() {
    for (int i = 0; i < 3; ++i) setenv(kInstallation[i], saved[i].c_str(), 1);
}

}  // namespace

int main() {
    for (int i = 0; i < 3; ++i) saved[i] = std::getenv(kInstallation[i]);
    const struct {
        const char* what;
        std::function<void()> change;
        std::function<std::string()> look;
        const char* expected;
    } steps[] = {
        // QXBASE names the sample installation: a data file found, the personnel file read.
        {"search", [] {}, [] { char name[] = "dta/gen.msg"; return std::to_string(qx::paths::candidates(name).size() > 0); }, "1"},
        {"nothing set", [] {}, persons, "all"},
        {"setenv", [] { setenv("QX_MA", "user3", 1); }, persons, "3"},
        {"a variable removed and one added", [] { unsetenv("V"); setenv("QX_MA", "user3", 1); unsetenv("L"); setenv("L", "2", 1); }, persons, "3"},
        {"setenv again", [] { setenv("QX_MA", "user5", 1); }, persons, "5"},
        {"unsetenv", [] { unsetenv("QX_MA"); }, persons, "all"},
        {"clearenv", [] { clearenv(); installation(); }, persons, "all"},
        {"clearenv and the same length", [] { clearenv(); setenv("QX_MA", "user3", 1); installation(); }, persons, "3"},
        {"clearenv, none of it", [] { clearenv(); installation(); }, persons, "all"},
        {"putenv", [] { putenv(user3); }, persons, "3"},
        {"the putenv buffer edited", [] { std::memcpy(user3, "QX_MB", 5); }, persons, "all"},
        {"another name's buffer edited", [] { putenv(other); std::memcpy(other, "QX_MA", 5); }, persons, "7"},
        {"a clock group's buffer edited", [] { putenv(group); std::memcpy(group, "QX", 2); }, [] { return visible("vst/klok.166", 140); }, "1 5"},
        {"the clock group removed", [] { unsetenv("QX_KLKGROUP"); }, [] { return visible("vst/klok.166", 140); }, "1 2 3 4 5 6 7 8"},
        {"date text", [] {}, date, "14-10-2010"},
        {"QX_ENGDATE set", [] { setenv("QX_ENGDATE", "1", 1); }, date, "10-14-2010"},
        {"QX_ENGDATE removed", [] { unsetenv("QX_ENGDATE"); }, date, "14-10-2010"},
        {"a new environ", [] { environ = month_first_environ; }, date, "10-14-2010"},
        {"the new environ's buffer edited", [] { std::memcpy(engdate_entry, "QX_ENGDATF", 10); }, date, "14-10-2010"},
        {"an empty environ", [] { std::memcpy(engdate_entry, "QX_ENGDATE", 10); environ = empty_environ; }, date, "14-10-2010"},
    };
    for (const auto& step : steps) {
        step.change();
        const std::string got = step.look();
        if (got != step.expected) {
            std::printf("wrong: after %s: %s, expected %s\n", step.what, got.c_str(), step.expected);
            return 1;
        }
    }
    std::printf("ok\n");
    return 0;
}
