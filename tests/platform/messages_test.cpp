// What the user is told outside the window: the boxes' captions, and the
// message that comes before the program ends when it cannot go on.
#include "platform/messages.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct ProgramEnded {
    int exitCode;
};

class Messages : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setMessageHandler(
            [this](const platform::Message& message) { boxes.push_back(message); });
        platform::setEndProgramHandler([](int code) { throw ProgramEnded{code}; });
    }
    void TearDown() override {
        platform::setMessageHandler({});
        platform::setEndProgramHandler({});
    }

    std::vector<platform::Message> boxes;
};

TEST_F(Messages, ABoxWithoutCaptionIsCaptionedWithTheTitle) {
    platform::showMessage(QStringLiteral("保存完毕"), platform::MessageIcon::Information);
    platform::showMessage(QStringLiteral("x"), platform::MessageIcon::Warning,
                          QStringLiteral("Error in here"));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, platform::appTitle());
    EXPECT_EQ(boxes[0].icon, platform::MessageIcon::Information);
    EXPECT_EQ(boxes[1].caption, QStringLiteral("Error in here"));
}

// The box is shown and closed first; only then does the program end, with
// a failing status.
TEST_F(Messages, EndWithMessageShowsTheCriticalBoxThenEnds) {
    const QString text = QStringLiteral("GDI+ 初始化错误。程序即将关闭。");
    const QString caption = QStringLiteral("初始化错误");
    int status = 0;
    try {
        platform::endWithMessage(text, caption);
        ADD_FAILURE() << "the program went on";
    } catch (const ProgramEnded& end) {
        status = end.exitCode;
    }
    EXPECT_NE(status, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].caption, caption);
    EXPECT_EQ(boxes[0].icon, platform::MessageIcon::Critical);
}

}  // namespace
