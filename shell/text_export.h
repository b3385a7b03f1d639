// Writing the text report to the file the user named.
#pragma once

#include <QByteArray>
#include <QString>

namespace shell {

// Writes the report through a new file beside the target that replaces it
// only once it is complete: a failed save never leaves a half-written report
// and never destroys the earlier file. On failure `error` says why.
bool WriteReportFile(const QString& path, const QByteArray& bytes, QString* error);

}  // namespace shell
