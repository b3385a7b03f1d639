#include "shell/photo_types.h"

namespace viewer {
namespace {

constexpr const char* kExtensions[] = {
    "jpg", "jpeg", "jpe", "tif", "tiff", "png", "webp", "heic", "heif", "avif", "dng", "cr2",
    "cr3", "nef", "nrw", "arw", "orf", "rw2", "raf", "pef", "srw", "bmp", "gif",
};

}  // namespace

const QStringList& photoPatterns() {
    static const QStringList patterns = [] {
        QStringList list;
        for (const char* extension : kExtensions) list << QStringLiteral("*.") + QLatin1String(extension);
        return list;
    }();
    return patterns;
}

bool isPhotoType(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) return false;
    const QStringView extension = QStringView(fileName).mid(dot + 1);
    for (const char* known : kExtensions) {
        if (extension.compare(QLatin1String(known), Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

}  // namespace viewer
