// The event log against the plainest model of its rules: the last 14 entries, within
// 10000 bytes.
#include "app/event_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace qx::app {
namespace {

// Adds `text` to the `model` log, as an entry (with CR LF) when `crlf`, else as a line.
void model_add(std::string* model, std::string text, bool crlf) {
    const std::size_t tail = crlf ? 2 : 0;
    if (text.size() + tail >= kLogCapacity) text.resize(kLogCapacity - 1 - tail);
    while (!model->empty() && model->size() + text.size() + tail >= kLogCapacity) {
        const std::size_t feed = model->find('\n');
        model->erase(0, feed == std::string::npos ? model->size() : feed + 1);
    }
    *model += text + (crlf ? "\r\n" : "");
    int feeds = 0;
    for (std::size_t p = model->size(); p >= 1; --p) {
        if ((*model)[p] == '\n' && ++feeds == kLogEntries + 1) {
            model->erase(0, p + 1);
            break;
        }
    }
}

// A long run of entries of every size: first the log's edges (9999 bytes fit, 10000 do
// not), then any size up to larger than the log, with line feeds anywhere (inside entries,
// and at the very first byte, which the trim does not count) and NULs (which end a text),
// added as entries up to a limit (past the end, to it, before it, none) and as lines.
TEST(EventLogTest, ARunOfAnyEntriesMatchesTheModel) {
    log_reset(nullptr);
    std::string model;
    std::mt19937 random(7);
    const std::size_t kEdges[] = {9997, 0, 9998, 4998, 4997, 4998, 4998};
    const std::size_t kSizes[] = {0, 1, 2, 30, 120, 1024, 3000, 9997, 9998, 12000};
    for (std::size_t step = 0; step < 3000; ++step) {
        const bool edge = step < std::size(kEdges);
        std::string text(edge ? kEdges[step] : kSizes[random() % 10] + random() % 3, 'x');
        for (char& c : text) c = edge ? 'x' : "ab\n\r"[random() % 4 == 0 ? random() % 4 : 0];
        if (!edge && random() % 8 == 0 && !text.empty()) text[random() % text.size()] = '\0';
        const long limit = static_cast<long>(text.size()) + 1 - (edge ? 1 : static_cast<long>(random() % 3));
        if (edge || random() % 4 != 0) {
            log_add_entry(text.c_str(), limit);
            model_add(&model, text.substr(0, std::min(static_cast<std::size_t>(std::max(limit, 0L)), text.find('\0'))), true);
        } else {
            log_add_line(text.c_str());
            model_add(&model, text.substr(0, text.find('\0')), false);
        }
        ASSERT_EQ(log_text(), model) << "step " << step;
    }
}

}  // namespace
}  // namespace qx::app
