// The registry on POSIX: the key is read from a registry export file, the one named by
// VELMORA_REGISTRY or /etc/velmora/registry.reg, so the same file imports unchanged on
// Windows. Understood: the header "Windows Registry Editor Version 5.00" or "REGEDIT4",
// [HKEY_LOCAL_MACHINE\...] sections (matched ignoring case), "name"="data" strings with
// \\ and \" escapes, @= for the unnamed value, hex(2): expandable strings (UTF-16LE in
// version 5 files, bytes in REGEDIT4 files, lines continued with "\"), dword: values.
// Values enumerate in file order. Lines not understood are skipped. The file is read as
// 8-bit text (regedit imports such a file as well as its own UTF-16 exports).
#include "platform/registry.h"

#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

// Bytes of a hex(2): list ("25,00,41,00"); version 5 files hold UTF-16LE text.
std::string decode_hex(const std::string& list, bool utf16) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i < list.size();) {
        while (i < list.size() && !std::isxdigit(static_cast<unsigned char>(list[i]))) ++i;
        if (i + 1 >= list.size()) break;
        bytes.push_back(static_cast<unsigned char>(std::stoi(list.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += utf16 ? 2 : 1) {
        if (bytes[i] == 0 && (!utf16 || i + 1 >= bytes.size() || bytes[i + 1] == 0)) break;
        text += static_cast<char>(bytes[i]);  // characters beyond 8 bits keep their low byte
    }
    return text;
}

// Joins lines continued with a final backslash (long hex lists); a quoted string never
// ends a line with one, since it ends with its closing quote.
std::vector<std::string> logical_lines(std::ifstream& file) {
    std::vector<std::string> lines;
    std::string line;
    std::string joined;
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
    std::ifstream file(registry_file(), std::ios::binary);
    if (!file || fault_now(Fault::Registry)) return kRegFileNotFound;
    const std::string wanted = std::string(kRootName) + subkey;
    auto* opened = new RegistryKey;
    bool found = false;
    bool inside = false;
    bool utf16 = false;
    for (const std::string& line : logical_lines(file)) {
        if (line.find("Windows Registry Editor Version 5.00") != std::string::npos) utf16 = true;
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

}  // namespace qx::platform
