// The event log: trimming to the last 14 entries and staying within 10000 bytes.
#include "app/event_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

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

TEST_F(EventLogTest, KeepsTheLastFourteenEntries) {
    for (int i = 1; i <= 14; ++i) add("entry " + std::to_string(i));
    EXPECT_EQ(log_text(), entries(1, 14));
    add("entry 15");
    EXPECT_EQ(log_text(), entries(2, 15));
    for (int i = 16; i <= 20; ++i) add("entry " + std::to_string(i));
    EXPECT_EQ(log_text(), entries(7, 20));
}

TEST_F(EventLogTest, LineFeedsInsideAnEntryTakePlaces) {
    for (int i = 1; i <= 14; ++i) add("entry " + std::to_string(i));
    add("a\r\nb\r\nc");  // three line feeds with its own
    EXPECT_EQ(log_text(), entries(4, 14) + "a\r\nb\r\nc\r\n");
}

TEST_F(EventLogTest, EntryLimitAndEmbeddedNul) {
    log_add_entry("abcdef", 3);
    log_add_entry("ab\0cd", 5);
    log_add_entry("ignored", -1);
    log_add_entry("ignored", 0);
    EXPECT_EQ(std::string(log_text()), "abc\r\nab\r\n\r\n\r\n");
}

TEST_F(EventLogTest, LineIsAddedUnchanged) {
    log_add_line("Card: 1 at 08:30 on 15-01-2024 (Fkey: F1)\r\n");
    EXPECT_STREQ(log_text(), "Card: 1 at 08:30 on 15-01-2024 (Fkey: F1)\r\n");
}

TEST_F(EventLogTest, FourteenLongEntriesStayWithinTheCapacity) {
    // 14 received requests of 1024 bytes would need 14364 bytes: the oldest go first.
    for (int i = 0; i < 30; ++i) {
        add(std::string(1024, static_cast<char>('a' + i % 26)));
        ASSERT_LT(std::strlen(log_text()), kLogCapacity);
    }
    const std::string text = log_text();
    const std::string newest(1024, static_cast<char>('a' + 29 % 26));
    EXPECT_EQ(text.substr(text.size() - 1026), newest + "\r\n");  // the newest entry whole
    EXPECT_EQ(text.size(), 9u * 1026u);                               // whole entries only
}

TEST_F(EventLogTest, AnEntryLargerThanTheLogIsCut) {
    const std::string huge(20000, 'h');
    add(huge);
    const std::string text = log_text();
    EXPECT_EQ(text.size(), kLogCapacity - 1);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

// The log against the plainest model of its rules, over a long run of entries of every
// size and with line feeds anywhere (also at the very first byte, which the trim does
// not count): the same text after every entry.
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

TEST_F(EventLogTest, ResetEmptiesTheLog) {
    add("something");
    log_reset(nullptr);
    EXPECT_STREQ(log_text(), "");
}

}  // namespace
}  // namespace qx::app
