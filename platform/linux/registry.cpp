// The registry on Linux: the key is read from a registry export file, the one named by
// VELMORA_REGISTRY or /etc/velmora/registry.reg, so the same file imports unchanged on
// Windows, and a key exported on Windows reads here as it is. Understood: the files
// regedit and reg export write (UTF-16LE with a byte-order mark, "Windows Registry Editor
// Version 5.00"), the same in UTF-8 with or without a byte-order mark, and REGEDIT4 files
// (ANSI); CR LF or LF line ends; [HKEY_LOCAL_MACHINE\...] sections (matched ignoring
// case), "name"="data" strings with \\ and \" escapes, @= for the unnamed value, hex(2):
// expandable strings (UTF-16LE in version 5 files, bytes in REGEDIT4 files, lines
// continued with "\"), dword: values. Values enumerate in file order; lines not understood
// are skipped. A file without one of the two headers is not read, as regedit refuses it.
//
// UTF-16 text becomes what the Windows A functions give on a Western system: Windows code
// page 1252 (Latin-1 plus the typographic characters at 0x80-0x9F), any other character
// '?'. A UTF-16 file of an odd byte count is read up to its last whole character.
#include "platform/registry.h"

#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "platform/faults.h"

extern char** environ;

namespace qx::platform {

struct RegistryKey {
    std::vector<std::pair<std::string, std::string>> values;  // name and data bytes, file order
    std::vector<bool> is_string;                               // data counts a terminator
};

namespace {

constexpr char kDefaultFile[] = "/etc/velmora/registry.reg";
constexpr char kRootName[] = "HKEY_LOCAL_MACHINE\\";

std::string registry_file() {
    const char* file = std::getenv("VELMORA_REGISTRY");
    return file != nullptr && file[0] != '\0' ? file : kDefaultFile;
}


// Reads a quoted .reg string starting at text[*i] == '"'; false if unterminated.
bool read_quoted(const std::string& text, std::size_t* i, std::string* out) {
    out->clear();
    for (++*i; *i < text.size(); ++*i) {
        char c = text[*i];
        if (c == '"') {
            ++*i;
            return true;
        }
        if (c == '\\' && *i + 1 < text.size()) c = text[++*i];
        *out += c;
    }
    return false;
}

// Unicode characters 0x80 to 0x9F of code page 1252, in byte order (0: none there).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Character `c` in code page 1252, '?' when it has none there.
char cp1252_byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] != 0 && kCp1252High[i] == c) return static_cast<char>(0x80 + i);
    }
    return '?';
}

// UTF-16LE `bytes` (an odd last byte ignored) as code page 1252 text, up to a NUL
// character when `stop_at_nul`.
std::string from_utf16(const unsigned char* bytes, std::size_t count, bool stop_at_nul) {
    std::string text;
    for (std::size_t i = 0; i + 1 < count; i += 2) {
        char32_t c = static_cast<char32_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0 && stop_at_nul) break;
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < count) {  // a pair: beyond code page 1252 anyway
            const char32_t low = static_cast<char32_t>(bytes[i + 2] | (bytes[i + 3] << 8));
            if (low >= 0xDC00 && low <= 0xDFFF) i += 2;
            c = 0x10000;
        }
        text += cp1252_byte(c);
    }
    return text;
}

// Bytes of a hex(2): list ("25,00,41,00"); version 5 files hold UTF-16LE text.
std::string decode_hex(const std::string& list, bool utf16) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i < list.size();) {
        while (i < list.size() && !std::isxdigit(static_cast<unsigned char>(list[i]))) ++i;
        if (i + 1 >= list.size()) break;
        bytes.push_back(static_cast<unsigned char>(std::stoi(list.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    if (utf16) return from_utf16(bytes.data(), bytes.size(), true);
    std::string text;
    for (const unsigned char byte : bytes) {
        if (byte == 0) break;
        text += static_cast<char>(byte);
    }
    return text;
}

std::string problem;  // why the last registry file could not be read, or empty

// The registry file as 8-bit text with LF or CR LF line ends, and whether it is a version
// 5 file; false (and `problem` says why) when it cannot be read or is no registry export.
// An absent file is no problem: the registry is then simply empty.
bool read_registry_file(std::string* text, bool* version5) {
    problem.clear();
    const std::string path = registry_file();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        if (errno != ENOENT) problem = "registry file " + path + ": cannot be read (" + std::strerror(errno) + ")";
        return false;
    }
    std::string bytes;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
    const int error = std::ferror(file) != 0 ? errno : fault_now(Fault::Registry) ? EIO : 0;
    std::fclose(file);
    if (error != 0) {
        problem = "registry file " + path + ": cannot be read (" + std::strerror(error) + ")";
        return false;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        *text = from_utf16(data + 2, bytes.size() - 2, false);
    } else if (bytes.size() >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        *text = bytes.substr(3);
    } else {
        *text = std::move(bytes);
    }
    const std::string first = text->substr(0, text->find('\n'));
    *version5 = first.rfind("Windows Registry Editor Version 5.00", 0) == 0;
    if (!*version5 && first.rfind("REGEDIT4", 0) != 0) {
        problem = "registry file " + path + ": not a registry export (its first line is neither "
                  "\"Windows Registry Editor Version 5.00\" nor \"REGEDIT4\")";
        return false;
    }
    return true;
}

// Joins lines continued with a final backslash (long hex lists); a quoted string never
// ends a line with one, since it ends with its closing quote.
std::vector<std::string> logical_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::string joined;
    std::istringstream file(text);
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.back() == '\\') {
            joined += line.substr(0, line.size() - 1);
            continue;
        }
        lines.push_back(joined + line);
        joined.clear();
    }
    if (!joined.empty()) lines.push_back(joined);
    return lines;
}

// Adds the value of a `"name"=...` or `@=...` line to `key`.
void add_value(const std::string& line, bool utf16, RegistryKey* key) {
    std::size_t i = 0;
    std::string name;
    if (line[0] == '@') {
        i = 1;
    } else if (!read_quoted(line, &i, &name)) {
        return;
    }
    if (i >= line.size() || line[i] != '=') return;
    ++i;
    std::string data;
    bool is_string = true;
    if (i < line.size() && line[i] == '"') {
        if (!read_quoted(line, &i, &data)) return;
    } else if (line.compare(i, 7, "hex(2):") == 0) {
        data = decode_hex(line.substr(i + 7), utf16);
    } else if (line.compare(i, 6, "dword:") == 0) {
        const unsigned long value = std::strtoul(line.c_str() + i + 6, nullptr, 16);
        for (int b = 0; b < 4; ++b) data += static_cast<char>((value >> (8 * b)) & 0xFF);
        is_string = false;
    } else {
        return;
    }
    key->values.emplace_back(name, data);
    key->is_string.push_back(is_string);
}

// The value of environment variable `name`, looked up ignoring case, or null.
const char* find_environment(const std::string& name) {
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (equals != nullptr && static_cast<std::size_t>(equals - *entry) == name.size() &&
            ::strncasecmp(*entry, name.c_str(), name.size()) == 0) {
            return equals + 1;
        }
    }
    return nullptr;
}

}  // namespace

long registry_open(const char* subkey, RegistryKey** key) {
    std::string text;
    bool utf16 = false;  // hex(2) data is UTF-16LE in version 5 files
    if (!read_registry_file(&text, &utf16)) return kRegFileNotFound;
    const std::string wanted = std::string(kRootName) + subkey;
    auto* opened = new RegistryKey;
    bool found = false;
    bool inside = false;
    for (const std::string& line : logical_lines(text)) {
        if (!line.empty() && line[0] == '[') {
            const std::size_t close = line.find(']');
            const std::string section = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
            inside = ::strcasecmp(section.c_str(), wanted.c_str()) == 0;
            found = found || inside;
        } else if (inside && !line.empty() && (line[0] == '"' || line[0] == '@')) {
            add_value(line, utf16, opened);
        }
    }
    if (!found) {
        delete opened;
        return kRegFileNotFound;
    }
    *key = opened;
    return kRegSuccess;
}

long registry_enum_value(RegistryKey* key, unsigned long index, char* name, unsigned long* name_size,
                         unsigned char* data, unsigned long* data_size) {
    if (key == nullptr || index >= key->values.size()) return kRegNoMoreItems;
    const auto& [value_name, value_data] = key->values[index];
    const unsigned long needed = static_cast<unsigned long>(value_data.size()) + (key->is_string[index] ? 1 : 0);
    if (value_name.size() + 1 > *name_size || needed > *data_size) {
        *data_size = needed;
        return kRegMoreData;
    }
    std::memcpy(name, value_name.c_str(), value_name.size() + 1);
    *name_size = static_cast<unsigned long>(value_name.size());
    std::memcpy(data, value_data.data(), value_data.size());
    if (key->is_string[index]) data[value_data.size()] = 0;
    *data_size = needed;
    return kRegSuccess;
}

void registry_close(RegistryKey* key) { delete key; }

unsigned long expand_environment(const char* source, char* dest, unsigned long size) {
    if (source == nullptr) return 0;
    const std::string text = source;
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
        if (close == std::string::npos) {
            out += text[i++];
            continue;
        }
        const std::string name = text.substr(i + 1, close - i - 1);
        const char* value = name.empty() ? nullptr : find_environment(name);
        out += value != nullptr ? std::string(value) : text.substr(i, close - i + 1);
        i = close + 1;
    }
    const unsigned long needed = static_cast<unsigned long>(out.size()) + 1;
    if (needed <= size && dest != nullptr) std::memcpy(dest, out.c_str(), needed);
    return needed;
}

std::string registry_problem() { return problem; }

}  // namespace qx::platform
