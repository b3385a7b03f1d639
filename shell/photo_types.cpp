#include "shell/photo_types.h"

#include "reader/photo_names.h"

namespace viewer {

const QStringList& photoPatterns() {
    static const QStringList patterns = [] {
        QStringList list;
        for (std::string_view extension : reader::PhotoExtensions())
            list << QStringLiteral("*.") +
                        QLatin1String(extension.data(), static_cast<qsizetype>(extension.size()));
        return list;
    }();
    return patterns;
}

bool isPhotoType(const QString& fileName) {
    return reader::HasPhotoExtension(fileName.toStdString());
}

}  // namespace viewer
