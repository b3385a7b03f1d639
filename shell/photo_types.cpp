#include "shell/photo_types.h"

namespace shell {
namespace {

constexpr const char* kExtensions[] = {
    "jpg", "jpeg", "jpe", "tif", "tiff", "png", "webp", "heic", "heif", "avif", "dng", "cr2",
    "cr3", "nef", "nrw", "arw", "orf", "rw2", "raf", "pef", "srw", "bmp", "gif",
};

}  // namespace

const QStringList& PhotoPatterns() {
    static const QStringList patterns = [] {
        QStringList list;
        for (const char* extension : kExtensions) list << QStringLiteral("*.") + QLatin1String(extension);
        return list;
    }();
    return patterns;
}

bool IsPhotoType(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) return false;
    const QStringView extension = QStringView(fileName).mid(dot + 1);
    for (const char* known : kExtensions) {
        if (extension.compare(QLatin1String(known), Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

}  // namespace shell
