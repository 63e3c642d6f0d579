// nexolt-sim: plays the Nexolt terminal against the server (see sim.h).
#include <iostream>
#include <string>
#include <vector>

#include <qx/version.h>

#include "tools/nexolt-sim/sim.h"

namespace {

bool read_option(std::vector<std::string>& words, qx::sim::Options* options, std::string* problem) {
    const std::string name = words[0];
    if (words.size() < 2) {
        *problem = name + " needs a value";
        return false;
    }
    const std::string value = words[1];
    words.erase(words.begin(), words.begin() + 2);
    try {
        if (name == "--host") {
            options->host = value;
        } else if (name == "--port") {
            const int port = std::stoi(value);
            if (port < 1 || port > 65535) throw std::out_of_range(value);
            options->port = static_cast<std::uint16_t>(port);
        } else if (name == "--timeout") {
            options->timeout_ms = std::stoi(value);
            if (options->timeout_ms < 1) throw std::out_of_range(value);
        } else {
            *problem = "unknown option " + name;
            return false;
        }
    } catch (const std::exception&) {
        *problem = "bad value '" + value + "' for " + name;
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.size() == 1 && (words[0] == "--help" || words[0] == "-h")) {
        std::cout << qx::sim::usage_text();
        return 0;
    }
    if (words.size() == 1 && words[0] == "--version") {
        std::cout << "nexolt-sim " << qx::kVersion << "\n";
        return 0;
    }
    qx::sim::Options options;
    while (!words.empty() && words[0].rfind("--", 0) == 0) {
        std::string problem;
        if (!read_option(words, &options, &problem)) {
            std::cerr << "nexolt-sim: " << problem << "; see nexolt-sim --help\n";
            return 2;
        }
    }
    return qx::sim::run_words(options, words, std::cout, std::cerr);
}
