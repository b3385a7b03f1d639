// What the client tests share: a client of the real or the test worker, and
// waiting for its answers in the event loop (bounded, so a hang fails the
// test instead of stalling it).
#pragma once

#include "sandbox/decoder_client.h"
#include "wait_until.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTimer>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sandboxtest {

// Long enough for a worker started on a busy machine under the sanitizers.
inline constexpr int kPatienceMs = 60000;

inline sandbox::DecoderClient::Options workerOptions(const char* program, int timeLimitMs = 5000) {
    sandbox::DecoderClient::Options options;
    options.program = QString::fromUtf8(program);
    options.timeLimitMs = timeLimitMs;
    options.startLimitMs = kPatienceMs;
    return options;
}

inline bool waitUntil(const std::function<bool()>& done, int milliseconds = kPatienceMs) {
    return testsupport::WaitUntil(done, milliseconds);
}

// Every answer and every ready worker of one client, in order.
struct Recorder {
    struct Answer {
        quint64 id;
        sandbox::DecodedPicture picture;
    };
    std::vector<Answer> answers;
    std::vector<qint64> readyWorkers;

    explicit Recorder(sandbox::DecoderClient& client) {
        QObject::connect(&client, &sandbox::DecoderClient::decoded, &client,
                         [this](quint64 id, const sandbox::DecodedPicture& picture) {
                             answers.push_back({id, picture});
                         });
        QObject::connect(&client, &sandbox::DecoderClient::workerReady, &client,
                         [this](qint64 pid, quint32) { readyWorkers.push_back(pid); });
    }

    // The answer to `id`, waited for; nothing when none came in time.
    std::optional<sandbox::DecodedPicture> answerTo(quint64 id, int milliseconds = kPatienceMs) {
        const auto find = [&]() -> const Answer* {
            for (const Answer& answer : answers)
                if (answer.id == id) return &answer;
            return nullptr;
        };
        if (!waitUntil([&] { return find() != nullptr; }, milliseconds)) return std::nullopt;
        return find()->picture;
    }

    bool waitForReady(std::size_t count, int milliseconds = kPatienceMs) {
        return waitUntil([&] { return readyWorkers.size() >= count; }, milliseconds);
    }
};

// A photo file opened read-only, closed with the holder.
struct OpenedPhoto {
    sandbox::UniqueFd descriptor;
    explicit OpenedPhoto(const QString& path)
        : descriptor(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC)) {}
    int get() const { return descriptor.get(); }
};

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// The test worker's command photo.
inline QByteArray command(const std::string& text) {
    return QByteArray("exifviewer-test: ") + text.c_str() + "\n";
}

}  // namespace sandboxtest
