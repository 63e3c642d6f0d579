// The event log: trimming to the last 14 entries and staying within 10000 bytes.
#include "app/event_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace qx::app {
namespace {

class EventLogTest : public ::testing::Test {
  protected:
    void SetUp() override { log_reset(nullptr); }

    static void add(const std::string& text) { log_add_entry(text.c_str(), static_cast<long>(text.size())); }

    static std::string entries(int first, int last) {
        std::string text;
        for (int i = first; i <= last; ++i) text += "entry " + std::to_string(i) + "\r\n";
        return text;
    }
};

TEST_F(EventLogTest, EntryLimitAndEmbeddedNul) {
    log_add_entry("abcdef", 3);
    log_add_entry("ab\0cd", 5);
    log_add_entry("ignored", -1);
    log_add_entry("ignored", 0);
    EXPECT_EQ(std::string(log_text()), "abc\r\nab\r\n\r\n\r\n");
}

// The log against the plainest model of its rules, over a long run of entries of every
// size (up to larger than the log) and with line feeds anywhere (inside entries, and at
// the very first byte, which the trim does not count), added as entries and as lines:
// the same text after every entry.
TEST_F(EventLogTest, ARunOfAnyEntriesMatchesTheModel) {
    std::string model;
    auto model_add = [&model](std::string text, bool crlf) {
        const std::size_t tail = crlf ? 2 : 0;
        if (text.size() + tail >= kLogCapacity) text.resize(kLogCapacity - 1 - tail);
        while (!model.empty() && model.size() + text.size() + tail >= kLogCapacity) {
            const std::size_t feed = model.find('\n');
            model.erase(0, feed == std::string::npos ? model.size() : feed + 1);
        }
        model += text + (crlf ? "\r\n" : "");
        int feeds = 0;
        for (std::size_t p = model.size(); p >= 1; --p) {
            if (model[p] == '\n' && ++feeds == kLogEntries + 1) {
                model.erase(0, p + 1);
                break;
            }
        }
    };
    std::mt19937 random(7);
    const std::size_t kSizes[] = {0, 1, 2, 30, 120, 1024, 3000, 9997, 9998, 12000};
    for (int step = 0; step < 3000; ++step) {
        std::string text(kSizes[random() % 10] + random() % 3, 'x');
        for (char& c : text) c = "ab\n\r"[random() % 4 == 0 ? random() % 4 : 0];
        const bool crlf = random() % 4 != 0;
        if (crlf) {
            add(text);
        } else {
            log_add_line(text.c_str());
        }
        model_add(text, crlf);
        ASSERT_EQ(log_text(), model) << "step " << step;
    }
}

// The log's room at its edge: 9999 bytes and the terminator fill it exactly.
TEST_F(EventLogTest, ExactFitAndOnePast) {
    const std::string a(4998, 'a'), b(4997, 'b');
    struct Case {
        std::vector<std::string> entries;
        std::string log;
    } cases[] = {
        {{std::string(9997, 'x')}, std::string(9997, 'x') + "\r\n"},                 // fills the log
        {{std::string(9998, 'x')}, std::string(9997, 'x') + "\r\n"},                 // one past: cut
        {{a, b}, a + "\r\n" + b + "\r\n"},                                           // 5000 + 4999 fit
        {{a, b + "b"}, b + "b\r\n"},                                                 // 5000 + 5000 do not
        {{std::string(9997, 'x'), ""}, "\r\n"},
    };
    for (const Case& c : cases) {
        log_reset(nullptr);
        for (const std::string& entry : c.entries) add(entry);
        EXPECT_EQ(log_text(), c.log) << c.entries.size() << " entries, the last " << c.entries.back().size();
    }
}

}  // namespace
}  // namespace qx::app
