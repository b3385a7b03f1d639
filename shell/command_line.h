// The photo named on the command line: "exifviewer PHOTO", as a file manager
// starts the viewer ("Open with", a double-click; Exec=exifviewer %f).
#pragma once

#include <QString>
#include <QStringList>

namespace viewer {

// The first argument after the program's name that names a file, as an
// absolute path against `workingFolder`; empty when there is none. Options
// (arguments beginning with "-", with the values of the toolkit's own
// options such as "-platform offscreen") are passed over, and "--" ends
// them. A file:// address is taken as its local path.
QString photoArgument(const QStringList& arguments, const QString& workingFolder);

}  // namespace viewer
