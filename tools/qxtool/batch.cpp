// The batch runner of qxtool, "qxtool -" (run_batch in commands.h): one command per line
// of its input, each run by run_command. No state beyond one call.
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "support/line_escape.h"
#include "tools/qxtool/commands.h"

namespace qx::tool {
namespace {

// Splits `line` at its TABs into `words`, each unescaped. False for a bad escape
// (`words` is then incomplete).
bool split_words(const std::string& line, std::vector<std::string>* words, std::string* word) {
    words->clear();
    bool escapes_ok = true;
    for (std::size_t start = 0; escapes_ok;) {
        const std::size_t tab = line.find('\t', start);
        const std::size_t stop = tab == std::string::npos ? line.size() : tab;
        escapes_ok = text::unescape(std::string_view(line).substr(start, stop - start), word);
        words->push_back(*word);
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return escapes_ok;
}

}  // namespace

long run_batch(std::istream& in, std::ostream& out, std::ostream& err) {
    long failed = 0;
    long line_number = 0;
    std::string line;
    std::vector<std::string> words;
    std::string word;
    while (std::getline(in, line)) {
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const bool escapes_ok = split_words(line, &words, &word);
        Outcome outcome = escapes_ok ? run_command(words, &out, &err)
                                     : Outcome{false, "bad escape: only \\\\ \\t \\n \\r \\0 \\xHH are known"};
        if (outcome.ok) {
            write_result(out, outcome);
            if (outcome.status != 0) ++failed;
        } else {
            ++failed;
            out << "\\! " << outcome.text << '\n';
            err << "qxtool: line " << line_number << ": " << outcome.text << '\n';
        }
    }
    return failed;
}

}  // namespace qx::tool
