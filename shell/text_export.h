// Writing the text report to the file the user named.
#pragma once

#include <QByteArray>
#include <QString>

namespace viewer {

// Writes the report as a new regular file at exactly `path`: a file of our
// own beside it, complete and on the disk, is renamed over the name. A failed
// save never leaves a half-written report and never destroys the earlier
// file; a symbolic link at `path` is refused, so nothing behind it is
// replaced. On failure `error` says why.
bool writeReportFile(const QString& path, const QByteArray& bytes, QString* error);

}  // namespace viewer
