// qxtool: runs one support-library operation from the command line, or many from
// standard input ("qxtool -"). Exit status 0 on success, 1 when a check (bookings) finds
// its file faulty, 2 on a usage error.
#include <iostream>
#include <string>
#include <vector>

#include <qx/version.h>

#include "platform/files.h"
#include "support/line_escape.h"
#include "tools/qxtool/commands.h"

namespace {

constexpr int kUsageError = 2;

void print_usage(std::ostream& out) {
    out << "usage: qxtool COMMAND ARGUMENTS...   run one command\n"
           "       qxtool -                      run one command per line of standard input,\n"
           "                                     arguments separated by TAB\n"
           "       qxtool --help                 show this text\n"
           "       qxtool --version              show the version\n\n"
           "Results are printed one per line, with \\ TAB LF CR NUL written as \\\\ \\t \\n \\r \\0\n"
           "and other control bytes as \\xHH (the same escapes are read in the arguments of\n"
           "'qxtool -'). A failed line of\n"
           "'qxtool -' prints '\\! ' and the reason, and the exit status is then 2.\n\n"
           "Commands:\n"
        << qx::tool::help_text();
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (words.size() == 1 && (words[0] == "--help" || words[0] == "-h")) {
        print_usage(std::cout);
        return 0;
    }
    if (words.size() == 1 && words[0] == "--version") {
        std::cout << "qxtool " << qx::kVersion << "\n";
        return 0;
    }
    if (words.size() == 1 && words[0] == "-") {
        qx::platform::read_standard_input_as_bytes();
        const long failed = qx::tool::run_batch(std::cin, std::cout, std::cerr);
        std::cout.flush();
        return failed == 0 ? 0 : kUsageError;
    }
    if (words.empty()) {
        std::cerr << "qxtool: no command; see qxtool --help\n";
        return kUsageError;
    }
    const qx::tool::Outcome outcome = qx::tool::run_command(words, &std::cout, &std::cerr);
    if (!outcome.ok) {
        std::cerr << "qxtool: " << outcome.text << "; see qxtool --help\n";
        return kUsageError;
    }
    qx::tool::write_result(std::cout, outcome);
    return outcome.status;
}
