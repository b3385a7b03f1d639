#include "shell/text_export.h"

#include <QSaveFile>

namespace shell {

bool WriteReportFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    const auto fail = [&] {
        if (error) *error = file.errorString();
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly)) return fail();
    // A write that fills the disk returns short with no error set; the next
    // one fails and names the cause.
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) return fail();
        done += written;
    }
    // commit() ignores a failure to write out the buffer and would put the
    // cut-short file in place of the old report, so the buffer goes first.
    if (!file.flush() || !file.commit()) return fail();
    return true;
}

}  // namespace shell
