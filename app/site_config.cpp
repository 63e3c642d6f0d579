// Reading and checking the site settings.
#include "app/site_config.h"

#include <cstdlib>

#include "platform/net.h"

namespace qx::app {
namespace {

SiteSettings in_force;

constexpr int kAddressBits = 32;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A decimal number of 1 to `max_digits` digits and nothing else, into *value.
bool parse_number(std::string_view text, std::size_t max_digits, long* value) {
    if (text.empty() || text.size() > max_digits) return false;
    long n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    *value = n;
    return true;
}

// One entry of a host list: an address, or an address and a prefix length.
bool parse_block(std::string_view entry, HostBlock* block) {
    const std::size_t slash = entry.find('/');
    long bits = kAddressBits;
    if (slash != std::string_view::npos && (!parse_number(entry.substr(slash + 1), 2, &bits) || bits > kAddressBits)) {
        return false;
    }
    std::uint32_t address = 0;
    if (!parse_ipv4(entry.substr(0, slash), &address)) return false;
    block->mask = bits == 0 ? 0 : ~std::uint32_t{0} << (kAddressBits - bits);
    block->network = address & block->mask;
    return true;
}

// The value of `name`, or null when it is unset.
const char* value_of(const char* name) { return std::getenv(name); }

bool read_terminals(SiteSettings* settings, std::string* error) {
    const char* value = value_of("QX_TERMINALS");
    if (value == nullptr || *value == '\0') return true;
    if (!parse_number(value, 6, &settings->terminals) || settings->terminals < 1 ||
        settings->terminals > kMaxTerminals) {
        *error = "QX_TERMINALS must be a number of terminals from 1 to " + std::to_string(kMaxTerminals) +
                 ", not '" + value + "'";
        return false;
    }
    return true;
}

bool read_hosts(SiteSettings* settings, std::string* error) {
    const char* value = value_of("QX_TERMINAL_HOSTS");
    if (value == nullptr) return true;
    if (*value == '\0') {
        *error = "QX_TERMINAL_HOSTS is set but empty: no address could connect (unset it to let every "
                 "address connect)";
        return false;
    }
    std::string bad;
    if (!parse_host_list(value, &settings->hosts, &bad)) {
        *error = "QX_TERMINAL_HOSTS: '" + bad +
                 "' is not an IPv4 address or block (such as 10.1.2.7 or 10.1.2.0/24); the list "
                 "is the addresses that may connect, separated by commas";
        return false;
    }
    return true;
}

bool read_listen(SiteSettings* settings, std::string* error) {
    const char* value = value_of("QX_LISTEN");
    if (value == nullptr) return true;
    if (!parse_ipv4(trimmed(value), &settings->listen_address)) {
        *error = std::string("QX_LISTEN: '") + value + "' is not an IPv4 address of this host (such as 10.1.2.1)";
        return false;
    }
    return true;
}

}  // namespace

bool parse_ipv4(std::string_view text, std::uint32_t* address) {
    std::uint32_t result = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = part < 3 ? text.find('.') : text.size();
        long number = 0;
        if (dot == std::string_view::npos || !parse_number(text.substr(0, dot), 3, &number) || number > 255) {
            return false;
        }
        result = result << 8 | static_cast<std::uint32_t>(number);
        text.remove_prefix(part < 3 ? dot + 1 : dot);
    }
    *address = result;
    return true;
}

bool parse_host_list(std::string_view text, std::vector<HostBlock>* blocks, std::string* bad) {
    blocks->clear();
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::string_view entry = trimmed(text.substr(0, comma));
        HostBlock block;
        if (!parse_block(entry, &block)) {
            *bad = entry;
            return false;
        }
        blocks->push_back(block);
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

bool host_allowed(const SiteSettings& settings, std::uint32_t address) {
    if (settings.hosts.empty()) return true;
    for (const HostBlock& block : settings.hosts) {
        if ((address & block.mask) == block.network) return true;
    }
    return false;
}

bool read_site_settings(SiteSettings* settings, std::string* error) {
    *settings = SiteSettings{};
    if (!read_terminals(settings, error) || !read_hosts(settings, error) || !read_listen(settings, error)) {
        return false;
    }
    const char* status = value_of("QX_STATUS");
    if (status != nullptr) settings->status_path = status;
    return true;
}

bool raise_descriptors(const SiteSettings& settings, std::string* error) {
    if (settings.terminals == 1) return true;
    const long needed = settings.terminals + kSpareDescriptors;
    const long limit = platform::raise_descriptor_limit(needed);
    if (limit >= needed) return true;
    *error = "QX_TERMINALS=" + std::to_string(settings.terminals) + " needs " + std::to_string(needed) +
             " open files, and the system allows " + std::to_string(limit) +
             " (raise the hard limit: ulimit -Hn, or LimitNOFILE= in the service unit)";
    return false;
}

void set_site(const SiteSettings& settings) { in_force = settings; }

const SiteSettings& site() { return in_force; }

}  // namespace qx::app
