// The JPEG preview decoder's second thread: each task runs there, sees what
// was written before it was posted, and is done when joined, whether the
// thread was still awake from the last one or had gone to sleep.
#include "preview/jpeg_decoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <numeric>
#include <thread>
#include <vector>

namespace preview::jpegdecoder {
namespace {

using namespace std::chrono_literals;

TEST(Companion, RunsEachTaskAwakeOrAsleep) {
    const struct {
        const char* name;
        std::chrono::milliseconds between;
        int tasks;
    } cases[] = {
        {"one after another", 0ms, 200},
        {"while it waits awake", 1ms, 20},
        {"after it went to sleep", 15ms, 6},
    };
    for (const auto& c : cases) {
        Companion companion;
        ASSERT_TRUE(companion.start()) << c.name;
        std::vector<int> seen;
        int posted = 0;
        bool elsewhere = true;
        for (int task = 1; task <= c.tasks; ++task) {
            posted = task;
            companion.post([&, poster = std::this_thread::get_id()] {
                seen.push_back(posted);
                elsewhere = elsewhere && std::this_thread::get_id() != poster;
            });
            companion.join();
            std::this_thread::sleep_for(c.between);
        }
        std::vector<int> expected(static_cast<std::size_t>(c.tasks));
        std::iota(expected.begin(), expected.end(), 1);
        EXPECT_EQ(seen, expected) << c.name;
        EXPECT_TRUE(elsewhere) << c.name;
    }
}

TEST(Companion, SideBySideTakesBothHalves) {
    Companion companion;
    std::atomic<int> here{0}, beside{0};
    for (int round = 0; round < 50; ++round)
        EXPECT_TRUE(RunSideBySide(
            companion, [&] { ++here; }, [&] { ++beside; }));
    EXPECT_EQ(here.load(), 50);
    EXPECT_EQ(beside.load(), 50);
}

// A decode left by an exception between a post and its join: the thread ends
// only once its task is done, so the task never outlives what it uses.
TEST(Companion, EndsAfterATaskNeverJoined) {
    auto finished = std::make_shared<std::atomic<bool>>(false);
    {
        Companion companion;
        ASSERT_TRUE(companion.start());
        companion.post([finished] {
            std::this_thread::sleep_for(20ms);
            finished->store(true);
        });
    }
    EXPECT_TRUE(finished->load());
}

// The process has one companion thread: a decode that finds it lent runs on
// its own thread, and the next decode gets it back.
TEST(Companion, IsLentToOneDecodeAtATime) {
    const auto ranOn = [](Companion& companion) {
        std::thread::id here, beside;
        RunSideBySide(
            companion, [&] { here = std::this_thread::get_id(); },
            [&] { beside = std::this_thread::get_id(); });
        return here == beside ? "one thread" : "two threads";
    };
    auto first = std::make_unique<Companion>();
    ASSERT_TRUE(first->start());
    Companion second;
    EXPECT_FALSE(second.start());
    EXPECT_STREQ(ranOn(second), "one thread");
    EXPECT_STREQ(ranOn(*first), "two threads");
    first.reset();
    // Refused once, refused for the rest of that decode.
    EXPECT_FALSE(second.start());
    Companion third;
    EXPECT_STREQ(ranOn(third), "two threads");
}

}  // namespace
}  // namespace preview::jpegdecoder
