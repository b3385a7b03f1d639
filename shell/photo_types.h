// The photo types the viewer opens, by file name extension: the open
// dialog's first filter and the folder keys go by this one list.
#pragma once

#include <QString>
#include <QStringList>

namespace viewer {

// "*.jpg", "*.jpeg", ...: lower case; names match in any case.
const QStringList& photoPatterns();

// True when the file name ends in one of the photo extensions, in any case.
bool isPhotoType(const QString& fileName);

}  // namespace viewer
