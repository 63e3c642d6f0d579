// The site settings, read once at start from the environment: how many terminals are
// served at once (QX_TERMINALS), which addresses may connect (QX_TERMINAL_HOSTS), the
// local address the listener binds (QX_LISTEN) and the status file (QX_STATUS). Owns
// the settings in force.
//
// A value that does not parse is a start-up error, never a default: the server does not
// start, so no mistake silently lets more hosts in. QX_TERMINALS and QX_STATUS set to
// the empty text count as unset; QX_TERMINAL_HOSTS and QX_LISTEN set to the empty text
// are errors (taking them as unset would open the server to every host and address).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx::app {

inline constexpr long kMaxTerminals = 100000;      // the most QX_TERMINALS may ask for
inline constexpr long kSpareDescriptors = 64;      // beyond one per terminal: listener, output, files
inline constexpr char kConfigErrorCaption[] = "Configuration Error";

// An IPv4 block: the addresses whose bits under `mask` are those of `network`.
struct HostBlock {
    std::uint32_t network = 0;
    std::uint32_t mask = 0;
};

struct SiteSettings {
    long terminals = 1;                    // at once; 1: the newest connection takes over
    std::vector<HostBlock> hosts;          // who may connect; empty: every address
    std::uint32_t listen_address = 0;      // platform::kAnyAddress: every local address
    std::string status_path;               // the status file; empty: none
};

// A dotted IPv4 address ("10.1.2.7": four numbers 0-255) into *address (host order).
bool parse_ipv4(std::string_view text, std::uint32_t* address);

// A comma-separated list of IPv4 addresses and blocks ("10.1.2.0/24, 10.1.3.7"; blanks
// around entries are allowed). False with the entry that does not parse in *bad.
bool parse_host_list(std::string_view text, std::vector<HostBlock>* blocks, std::string* bad);

// True when `address` may connect under `settings`.
bool host_allowed(const SiteSettings& settings, std::uint32_t address);

// Reads the settings from the environment into *settings. False with the text of the
// start-up error in *error when a value is bad. Checks only what can be told from the
// values themselves.
bool read_site_settings(SiteSettings* settings, std::string* error);

// With more than one terminal: raises the limit of open descriptors to what the
// terminals need (kSpareDescriptors more than one each), as far as the hard limit
// allows. False with the text of the start-up error in *error when that is too little.
bool raise_descriptors(const SiteSettings& settings, std::string* error);

// Makes `settings` the settings in force.
void set_site(const SiteSettings& settings);

// The settings in force (all defaults until set_site).
const SiteSettings& site();

}  // namespace qx::app
