// Uses a few operations of the installed library and checks their results: exit 0 and
// "ok" when all are right, else the first that is not.
#include <qx/support/datetime/calendar.h>
#include <qx/support/datetime/date_text.h>
#include <qx/support/path_search.h>  // which includes another header of the library
#include <qx/support/record.h>
#include <qx/support/text.h>
#include <qx/version.h>

#include <cstdio>
#include <cstring>
#include <string>

int main() {
    char date[32];
    char catalogue[] = "dta/gen.msg";
    std::string record(60, '\0');
    const struct {
        const char* what;
        bool right;
    } checks[] = {
        {"version", std::strlen(qx::kVersion) > 0},
        {"leap year", qx::datetime::is_leap_year(2024) == 1 && qx::datetime::is_leap_year(1900) == 0},
        {"date text", std::string(qx::datetime::date_text(101014, "dmjl", date, sizeof date)) == "14-10-2010"},
        {"number", qx::text::read_int("  -42x") == -42},
        // QXBASE names the sample installation: a data file found, and its third sample record.
        {"search", !qx::paths::candidates(catalogue).empty()},
        {"record", qx::records::read_record("vst/sample.166", 3, 60, record.data()) == 0 &&
                       record.compare(0, 5, "00003") == 0},
    };
    for (const auto& check : checks) {
        if (!check.right) {
            std::printf("wrong: %s\n", check.what);
            return 1;
        }
    }
    std::printf("ok\n");
    return 0;
}
