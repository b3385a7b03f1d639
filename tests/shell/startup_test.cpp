// Start-up as the user meets it: the real program, started twice.
#include "shell/mod_main.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(runtimeDir_.isValid()); }

    // Starts the viewer with its own runtime folder, so that the test's lock
    // never meets a viewer the developer has open.
    std::unique_ptr<QProcess> Start() {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtimeDir_.path());
        process->setProcessEnvironment(env);
        process->start(EXIFVIEWER_PATH, {});
        EXPECT_TRUE(process->waitForStarted(5000));
        return process;
    }

    // True when the process is still running after `ms` milliseconds.
    static bool Lives(QProcess& process, int ms) { return !process.waitForFinished(ms); }

    QTemporaryDir runtimeDir_;
};

TEST_F(StartupTest, SecondStartEndsSilently) {
    auto first = Start();
    ASSERT_TRUE(Lives(*first, 1500)) << first->readAllStandardError().toStdString();

    auto second = Start();
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(second->readAllStandardOutput(), QByteArray());

    EXPECT_TRUE(Lives(*first, 200));
    first->kill();
    first->waitForFinished(5000);
}

TEST_F(StartupTest, ACrashedCopyDoesNotBlockTheNextStart) {
    auto first = Start();
    ASSERT_TRUE(Lives(*first, 1500));
    first->kill();  // SIGKILL: no clean-up runs, the lock file stays behind
    ASSERT_TRUE(first->waitForFinished(5000));

    auto next = Start();
    EXPECT_TRUE(Lives(*next, 1500));
    next->kill();
    next->waitForFinished(5000);
}

TEST(ModuleStrings, AreSetBeforeAnyWindow) {
    modMain::SetModuleStrings();
    EXPECT_EQ(modMain::PathSeparator, "/");
    // Contact lines: an e-mail line of 22 characters, then a chat line of 12.
    const QString mail = QString::fromStdString(modMain::ContactLines[0]);
    const QString chat = QString::fromStdString(modMain::ContactLines[1]);
    EXPECT_EQ(mail.size(), 22);
    EXPECT_TRUE(mail.contains('@'));
    EXPECT_EQ(chat.size(), 12);
}

}  // namespace
