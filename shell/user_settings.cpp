#include "shell/user_settings.h"

#include <QHash>
#include <QSettings>
#include <memory>

namespace viewer {
namespace {

const QString kFolderKey = QStringLiteral("lastFolder");
const QString kFilterKey = QStringLiteral("openFilter");

QString& SettingsFile() {
    static QString path;
    return path;
}

std::unique_ptr<QSettings> Open() {
    if (!SettingsFile().isEmpty())
        return std::make_unique<QSettings>(SettingsFile(), QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("exifviewer"), QStringLiteral("exifviewer"));
}

// What this process wrote last: stepping through a folder writes its name
// once, not once per photo.
QHash<QString, QString>& Written() {
    static QHash<QString, QString> written;
    return written;
}

QString Read(const QString& key) { return Open()->value(key).toString(); }

void Write(const QString& key, const QString& value) {
    const auto known = Written().constFind(key);
    if (known != Written().cend() && *known == value) return;
    const std::unique_ptr<QSettings> settings = Open();
    settings->setValue(key, value);
    settings->sync();
    Written().insert(key, value);
}

}  // namespace

QString rememberedFolder() { return Read(kFolderKey); }
void rememberFolder(const QString& folder) { Write(kFolderKey, folder); }

QString rememberedImageFilter() { return Read(kFilterKey); }
void rememberImageFilter(const QString& filter) { Write(kFilterKey, filter); }

void setSettingsFile(const QString& path) {
    SettingsFile() = path;
    Written().clear();
}

}  // namespace viewer
