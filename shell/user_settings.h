// What the viewer remembers across runs, in the user's config folder
// (exifviewer/exifviewer.ini): the folder of the last photo opened and the
// open dialog's last filter. Each change is written at once, because the
// program ends without running destructors.
#pragma once

#include <QString>

namespace viewer {

QString rememberedFolder();
void rememberFolder(const QString& folder);

QString rememberedImageFilter();
void rememberImageFilter(const QString& filter);

// Tests keep what is remembered in a file of their own; an empty path goes
// back to the user's config folder.
void setSettingsFile(const QString& path);

}  // namespace viewer
