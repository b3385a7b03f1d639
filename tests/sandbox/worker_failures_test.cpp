// The test worker doing what a compromised or broken decoder would: the
// client answers with the reason, replaces the worker where it must, and
// the next photo opens.
#include "client_fixture.h"
#include "malformed_replies.h"
#include "temp_folder.h"
#include "test_photos.h"

#include <QDir>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using namespace sandbox;
using namespace sandboxtest;

QByteArray plainPng(const QColor& colour = Qt::darkGreen) {
    return paneltest::Encode(paneltest::Solid(32, 24, colour), "png");
}

// After whatever happened, a photo opens.
void expectNextPhotoOpens(DecoderClient& client, Recorder& recorder, const std::string& name) {
    const std::optional<DecodedPicture> next =
        recorder.answerTo(client.request(plainPng(), FormatHint::Png, QSize(32, 24)));
    ASSERT_TRUE(next) << name << ": no answer to the next photo";
    EXPECT_TRUE(next->ok()) << name << ": next photo: " << next->reason.toStdString();
}

TEST(WorkerFailures, HostileDecodesEndWithAReasonAndTheNextPhotoOpens) {
    const struct {
        const char* command;
        const char* reason;  // a part of the answer's reason
        bool sameWorker;     // the worker lives on
    } cases[] = {
        // Forbidden system calls end the worker (SIGSYS).
        {"socket", "越权", false},
        {"execve", "越权", false},
        {"ptrace", "越权", false},
        {"fork", "越权", false},
        {"kill", "越权", false},
        {"unshare", "越权", false},
        {"exec-memory", "越权", false},
        {"setrlimit", "越权", false},
        // Calls refused without ending it.
        {"open", "open: Permission denied", true},
        {"thread", "thread ran", true},
        // Decoders that break or hang.
        {"crash", "崩溃", false},
        {"abort", "崩溃", false},
        {"shrink", "截断", false},
        {"exit", "意外退出", false},
        {"close", "意外退出", false},
        {"sleep 60000", "超过", false},
        {"spin", "超过", false},
    };
    DecoderClient client(workerOptions(EXIFVIEWER_TEST_WORKER, 1500));
    Recorder recorder(client);
    client.start();
    ASSERT_TRUE(recorder.waitForReady(1));
    for (const auto& c : cases) {
        const qint64 before = client.workerPid();
        const std::optional<DecodedPicture> answer = recorder.answerTo(
            client.request(command(c.command), FormatHint::Unknown, QSize(16, 16)));
        ASSERT_TRUE(answer) << c.command << ": no answer";
        EXPECT_FALSE(answer->ok()) << c.command;
        EXPECT_TRUE(answer->reason.contains(QString::fromUtf8(c.reason)))
            << c.command << ": reason \"" << answer->reason.toStdString() << "\"";
        if (c.sameWorker) {
            EXPECT_EQ(client.workerPid(), before) << c.command;
        } else {
            ASSERT_TRUE(waitUntil([&] {
                return client.workerPid() != before && client.confinement() != 0;
            })) << c.command
                << ": no new worker";
        }
        expectNextPhotoOpens(client, recorder, c.command);
    }
}

TEST(WorkerFailures, RunningOutOfAddressSpaceEndsTheDecodeOnly) {
    DecoderClient client(workerOptions(EXIFVIEWER_TEST_WORKER));
    Recorder recorder(client);
    client.start();
    ASSERT_TRUE(recorder.waitForReady(1));
    if (!(client.confinement() & kAddressSpaceLimit))
        GTEST_SKIP() << "the worker runs without an address-space limit";
    const qint64 before = client.workerPid();
    const std::optional<DecodedPicture> answer =
        recorder.answerTo(client.request(command("allocate"), FormatHint::Unknown, QSize(16, 16)));
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->reason.contains(QStringLiteral("内存"))) << answer->reason.toStdString();
    // It answers, then makes way for a fresh worker.
    ASSERT_TRUE(
        waitUntil([&] { return client.workerPid() != before && client.confinement() != 0; }));
    expectNextPhotoOpens(client, recorder, "allocate");
}

// Every crafted reply sent by a real worker in place of its answer: refused,
// the liar replaced, the next photo opens.
TEST(WorkerFailures, LyingWorkerIsRefusedAndReplaced) {
    const QString folder =
        QString::fromStdString(testsupport::MakeTempFolder("worker-lies-").string());
    DecoderClient client(workerOptions(EXIFVIEWER_TEST_WORKER));
    Recorder recorder(client);
    client.start();
    ASSERT_TRUE(recorder.waitForReady(1));
    for (const ReplyCase& lie : replyCases()) {
        if (lie.fault == Fault::None) continue;
        // A regular file, which the lie "not a memory file" sends back.
        const QString path = QDir(folder).filePath(QStringLiteral("lie.txt"));
        ASSERT_TRUE(writeFile(path, command(std::string("lie ") + lie.name)));
        const OpenedPhoto photo(path);
        const qint64 before = client.workerPid();
        const std::optional<DecodedPicture> answer =
            recorder.answerTo(client.request(photo.get(), FormatHint::Unknown, QSize(64, 48)));
        ASSERT_TRUE(answer) << lie.name << ": no answer";
        EXPECT_FALSE(answer->ok()) << lie.name;
        EXPECT_TRUE(answer->reason.contains(QStringLiteral("回复无效")))
            << lie.name << ": " << answer->reason.toStdString();
        ASSERT_TRUE(waitUntil([&] {
            return client.workerPid() != before && client.confinement() != 0;
        })) << lie.name;
        expectNextPhotoOpens(client, recorder, lie.name);
    }
    std::filesystem::remove_all(folder.toStdString());
}

TEST(WorkerFailures, KilledDuringADecode) {
    DecoderClient client(workerOptions(EXIFVIEWER_TEST_WORKER, 30000));
    Recorder recorder(client);
    client.start();
    ASSERT_TRUE(recorder.waitForReady(1));
    const qint64 worker = client.workerPid();
    const quint64 id = client.request(command("sleep 20000"), FormatHint::Unknown, QSize(16, 16));
    waitUntil([] { return false; }, 200);  // let the worker take it
    ASSERT_EQ(::kill(static_cast<pid_t>(worker), SIGKILL), 0);
    const std::optional<DecodedPicture> answer = recorder.answerTo(id);
    ASSERT_TRUE(answer);
    EXPECT_FALSE(answer->ok());
    EXPECT_TRUE(answer->reason.contains(QStringLiteral("终止"))) << answer->reason.toStdString();
    expectNextPhotoOpens(client, recorder, "after SIGKILL");
    EXPECT_NE(client.workerPid(), worker);
}

// A newer request supersedes: the older one is never answered, and a slow
// decode of it is stopped rather than waited for.
TEST(WorkerFailures, NewerRequestSupersedesOlder) {
    DecoderClient client(workerOptions(EXIFVIEWER_TEST_WORKER, 30000));
    Recorder recorder(client);
    client.start();
    ASSERT_TRUE(recorder.waitForReady(1));
    const qint64 slowWorker = client.workerPid();
    const quint64 slow = client.request(command("sleep 20000"), FormatHint::Unknown, QSize(16, 16));
    waitUntil([] { return false; }, 100);
    const quint64 quick = client.request(plainPng(), FormatHint::Png, QSize(32, 24));
    const std::optional<DecodedPicture> answer = recorder.answerTo(quick);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->ok()) << answer->reason.toStdString();
    EXPECT_NE(client.workerPid(), slowWorker)
        << "the superseded decode was waited for, not stopped";
    ASSERT_EQ(recorder.answers.size(), 1u);
    EXPECT_NE(recorder.answers.front().id, slow);
}

TEST(WorkerFailures, FiveQuickRequestsShowTheFifth) {
    DecoderClient client(workerOptions(EXIFVIEWER_TEST_WORKER));
    Recorder recorder(client);
    client.start();
    ASSERT_TRUE(recorder.waitForReady(1));
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::magenta};
    quint64 last = 0;
    for (const QColor& colour : colours)
        last = client.request(plainPng(colour), FormatHint::Png, QSize(32, 24));
    const std::optional<DecodedPicture> answer = recorder.answerTo(last);
    ASSERT_TRUE(answer && answer->ok());
    EXPECT_EQ(answer->image.pixel(5, 5), QColor(Qt::magenta).rgb());
    // Give any older answer the chance to come, wrongly.
    expectNextPhotoOpens(client, recorder, "after five");
    ASSERT_EQ(recorder.answers.size(), 2u);
    EXPECT_EQ(recorder.answers.front().id, last);
}

TEST(WorkerFailures, CancelledRequestIsNotAnswered) {
    DecoderClient client(workerOptions(EXIFVIEWER_TEST_WORKER));
    Recorder recorder(client);
    const quint64 cancelled = client.request(plainPng(), FormatHint::Png, QSize(32, 24));
    client.cancel();
    expectNextPhotoOpens(client, recorder, "after cancel");
    for (const Recorder::Answer& answer : recorder.answers) EXPECT_NE(answer.id, cancelled);
}

// A worker that ends between requests (as it does after its processor
// time) may have taken one more: that one goes once to the next worker.
TEST(WorkerFailures, RetiringWorkerHandsItsRequestOnOnce) {
    DecoderClient client(workerOptions(EXIFVIEWER_TEST_WORKER));
    Recorder recorder(client);
    client.start();
    ASSERT_TRUE(recorder.waitForReady(1));
    const std::optional<DecodedPicture> answer =
        recorder.answerTo(client.request(command("retire"), FormatHint::Unknown, QSize(16, 16)));
    ASSERT_TRUE(answer);
    EXPECT_FALSE(answer->ok());
    // The first worker, the one that took the retry, and the one after.
    EXPECT_TRUE(recorder.waitForReady(3)) << recorder.readyWorkers.size() << " workers";
}

TEST(WorkerFailures, WorkerThatCannotStart) {
    const struct {
        const char* name;
        const char* program;
        QStringList arguments;
    } cases[] = {
        {"missing program", "/nonexistent/exifviewer-decoder", {}},
        {"program that ends at once", "/bin/true", {}},
        {"program that never says it is ready", "/bin/sleep", {QStringLiteral("30")}},
    };
    for (const auto& c : cases) {
        DecoderClient::Options options = workerOptions(c.program);
        options.arguments = c.arguments;
        options.startLimitMs = 1000;
        DecoderClient client(options);
        Recorder recorder(client);
        const std::optional<DecodedPicture> answer =
            recorder.answerTo(client.request(plainPng(), FormatHint::Png, QSize(8, 8)));
        ASSERT_TRUE(answer) << c.name;
        EXPECT_TRUE(answer->reason.contains(QStringLiteral("无法启动")))
            << c.name << ": " << answer->reason.toStdString();
        // No loop of restarts: nothing runs until the next request.
        EXPECT_EQ(client.workerPid(), 0) << c.name;
    }
}

}  // namespace
