// The batch runner of qxtool, "qxtool -" (run_batch in commands.h): one command per line
// of its input, each run by run_command. No state beyond one call.
#include <algorithm>
#include <istream>
#include <ostream>
#include <streambuf>
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

// Passes what is written through it on to `target`, counting the line feeds: a check
// (bookings) writes its lines itself, and a batch needs to know whether it wrote one.
class LineCounter : public std::streambuf {
public:
    explicit LineCounter(std::ostream& target) : target_(target) {}
    long lines() const { return lines_; }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        if (traits_type::to_char_type(c) == '\n') ++lines_;
        target_.put(traits_type::to_char_type(c));
        return c;
    }
    std::streamsize xsputn(const char* data, std::streamsize count) override {
        lines_ += static_cast<long>(std::count(data, data + count, '\n'));
        target_.write(data, count);
        return count;
    }

private:
    std::ostream& target_;
    long lines_ = 0;
};

}  // namespace

long run_batch(std::istream& in, std::ostream& out, std::ostream& err) {
    long failed = 0;
    long line_number = 0;
    std::string line;
    std::vector<std::string> words;
    std::string word;
    LineCounter counter(out);
    std::ostream counted(&counter);
    while (std::getline(in, line)) {
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const bool escapes_ok = split_words(line, &words, &word);
        const long lines_before = counter.lines();
        Outcome outcome = escapes_ok ? run_command(words, &counted, &err)
                                     : Outcome{false, "bad escape: only \\\\ \\t \\n \\r \\0 \\xHH are known"};
        if (outcome.ok) {
            write_result(out, outcome);
            if (outcome.status != 0) ++failed;
            // A check that wrote no line still gives its line: empty, or "\!" when it failed.
            if (outcome.written && counter.lines() == lines_before) {
                out << (outcome.status != 0 ? "\\! " + words[0] + ": failed (see standard error)" : std::string()) << '\n';
            }
        } else {
            ++failed;
            out << "\\! " << outcome.text << '\n';
            err << "qxtool: line " << line_number << ": " << outcome.text << '\n';
        }
    }
    return failed;
}

}  // namespace qx::tool
