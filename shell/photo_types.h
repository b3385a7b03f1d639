// The photo types the viewer opens, by file name extension: the open
// dialog's "所有照片" filter and the folder keys go by this one list.
#pragma once

#include <QString>
#include <QStringList>

namespace shell {

// "*.jpg", "*.jpeg", ...: lower case; names match in any case.
const QStringList& PhotoPatterns();

// True when the file name ends in one of the photo extensions, in any case.
bool IsPhotoType(const QString& fileName);

}  // namespace shell
