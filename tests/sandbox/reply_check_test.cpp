// The viewer's check of a reply, fed every crafted reply through a real
// socket pair, descriptors and all: each is refused by its own check, sound
// ones are mapped, and no descriptor is left open either way.
#include "malformed_replies.h"

#include "sandbox/channel.h"
#include "sandbox/reply_check.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace sandbox;
using sandboxtest::Asked;
using sandboxtest::replyCases;

int openDescriptors() {
    int count = 0;
    DIR* folder = ::opendir("/proc/self/fd");
    if (!folder) return -1;
    while (const dirent* entry = ::readdir(folder))
        if (entry->d_name[0] != '.') ++count;
    ::closedir(folder);
    return count;
}

AcceptedReply sendAndCheck(const sandboxtest::ReplyCase& replyCase, const Asked& asked) {
    SocketPair pair = makeSocketPair();
    sandboxtest::Crafted crafted = replyCase.craft(asked);
    EXPECT_TRUE(sendMessage(pair.first.get(), crafted.bytes, crafted.sent)) << replyCase.name;
    crafted.owned.clear();
    return acceptReply(receiveMessage(pair.second.get(), false), asked.id, asked.width,
                       asked.height);
}

TEST(ReplyCheck, EachCraftedReplyMeetsItsOwnCheck) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
    const UniqueFd readEnd(pipeEnds[0]), writeEnd(pipeEnds[1]);
    const Asked asked{41, 64, 48, readEnd.get()};
    const int before = openDescriptors();
    for (const sandboxtest::ReplyCase& replyCase : replyCases()) {
        AcceptedReply accepted = sendAndCheck(replyCase, asked);
        EXPECT_EQ(accepted.fault, replyCase.fault)
            << replyCase.name << ": refused for \"" << describe(accepted.fault) << "\", expected \""
            << describe(replyCase.fault) << "\"";
        if (replyCase.fault == Fault::None && accepted.reply.status == ReplyStatus::Picture) {
            ASSERT_TRUE(accepted.picture) << replyCase.name;
            EXPECT_EQ(accepted.picture.size(), std::size_t{64} * 4 * 48) << replyCase.name;
            EXPECT_EQ(accepted.picture.data()[0], 0x80) << replyCase.name;
        } else {
            EXPECT_FALSE(accepted.picture) << replyCase.name;
        }
    }
    EXPECT_EQ(openDescriptors(), before) << "a descriptor from a reply was left open";
}

// The mapping is read-only: the viewer cannot write into the worker's
// picture, and the sealed file keeps the worker from writing into it.
TEST(ReplyCheck, AcceptedPictureCannotBeWrittenByEitherSide) {
    const Asked asked{7, 16, 16, -1};
    SocketPair pair = makeSocketPair();
    sandboxtest::Crafted crafted = sandboxtest::findReplyCase("sound picture")->craft(asked);
    const int workerCopy = crafted.sent.front();
    ASSERT_TRUE(sendMessage(pair.first.get(), crafted.bytes, crafted.sent));
    AcceptedReply accepted =
        acceptReply(receiveMessage(pair.second.get(), false), asked.id, asked.width, asked.height);
    ASSERT_EQ(accepted.fault, Fault::None);
    const std::uint8_t byte = 1;
    EXPECT_EQ(::pwrite(workerCopy, &byte, 1, 0), -1);
    EXPECT_EQ(::ftruncate(workerCopy, 0), -1);
    EXPECT_EQ(accepted.picture.data()[0], 0x80);
    EXPECT_DEATH(const_cast<std::uint8_t*>(accepted.picture.data())[0] = 0, "");
}

}  // namespace
