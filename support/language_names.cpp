// Language-dependent table names and the yes letter.
#include "support/language_names.h"

#include <cstdlib>
#include <cstring>

#include "support/config.h"
#include "support/file_table.h"
#include "support/record_file.h"
#include "support/text.h"

namespace qx::lang {
namespace {

constexpr char kSysparFile[] = "vst/syspar.170";
constexpr char kLanguageTable[] = "tab/taal.tab";
constexpr int kLandcodeAt = 144;  // `landcode` in the system parameter record
constexpr int kSuffixAt = 24;     // `suffix` in a language table record
constexpr int kYesAt = 28;        // `yes` in a language table record
constexpr int kSuffixLength = 3;

struct Language {
    char suffix[kSuffixLength + 1];  // file-name suffix, empty when unreadable
    char yes;                        // yes letter, 0 when unreadable
};

char syspar[kSysparLength];            // the system parameter record copy
char talen[kTalenLength];              // read buffer of the language search and table load
Language languages[kLanguages + 1];     // entries 1 to 9
bool table_loaded = false;
int current_language = 0;
char remembered_code[64] = "";          // the suffix QX_LANGUAGE last matched
char yes = 'j';

// The `landcode` field (bytes 144-145), read as a decimal number within its two bytes.
int landcode() { return text::leading_number(syspar + kLandcodeAt, 2); }

// Reads record `number` of the language table into `talen`-sized `record`; zeros when
// the read fails.
void read_language_record(int number, char* record) {
    if (records::read_unjudged_record(kLanguageTable, number, kTalenLength, record) < 0) {
        std::memset(record, 0, kTalenLength);
    }
}

void load_language_table() {
    table_loaded = true;
    for (int k = 1; k <= kLanguages; ++k) {
        read_language_record(k, talen);
        std::memcpy(languages[k].suffix, talen + kSuffixAt, kSuffixLength);
        languages[k].suffix[kSuffixLength] = '\0';
        languages[k].yes = talen[kYesAt];
    }
    table::table_close(kLanguageTable);
}

}  // namespace

int default_language() {
    if (syspar[0] != '1') records::read_unjudged_record(kSysparFile, 1, kSysparLength, syspar);
    const int code = landcode();
    if (code < 1 || code > kLanguages) std::memcpy(syspar + kLandcodeAt, "1", 2);
    return landcode();
}

int find_language(const char* code, char* record) {
    if (std::strcmp(code, "ned") == 0 || text::is_blank(code) != 0) {
        records::read_unjudged_record(kLanguageTable, 1, kTalenLength, record);
        return 1;
    }
    for (int i = 1; i <= kLanguages; ++i) {
        read_language_record(i, record);
        if (std::strncmp(code, record + kSuffixAt, kSuffixLength) == 0) return i;
    }
    return -1;
}

char apply_language(int number, const char* name, char* out, std::size_t size) {
    text::copy_text(out, size, name);
    if (!table_loaded) load_language_table();
    const char* suffix = languages[number].suffix;
    const std::size_t length = std::strlen(out);
    if (std::strcmp(suffix, "ned") != 0 && text::is_blank(suffix) == 0 && length >= kSuffixLength) {
        std::memcpy(out + length - kSuffixLength, suffix, std::strlen(suffix) + 1);
    }
    return languages[number].yes;
}

char* rgetlan_nam(const char* name, char* out, std::size_t size) {
    text::copy_text(out, size, name);
    default_language();
    if (std::strcmp(name, kLanguageTable) == 0 || std::strcmp(name, "tab/mnucmd.bes") == 0) return out;
    const char* wanted = config::get_config_var("QX_LANGUAGE");
    if (wanted[0] == '\0') {
        remembered_code[0] = '\0';
        current_language = landcode();
    } else if (std::strcmp(wanted, remembered_code) != 0) {
        const int found = find_language(wanted, talen);
        if (found > 0) {
            current_language = found;
            text::copy_text(remembered_code, kSuffixLength + 2, talen + kSuffixAt);  // bytes 24-27
        } else {
            current_language = landcode();
        }
    }
    yes = apply_language(current_language, name, out, size);
    if (const char* yes_variable = std::getenv("QX_YES")) yes = yes_variable[0];
    if (static_cast<signed char>(yes) <= 'Z') yes = static_cast<char>(yes + 32);
    return out;
}

char yes_letter() { return yes; }

const char* syspar_record() { return syspar; }

void forget_language_state() {
    std::memset(syspar, 0, sizeof syspar);
    std::memset(languages, 0, sizeof languages);
    table_loaded = false;
    current_language = 0;
    remembered_code[0] = '\0';
    yes = 'j';
}

}  // namespace qx::lang
