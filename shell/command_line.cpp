#include "shell/command_line.h"

#include <QDir>
#include <QUrl>

namespace viewer {
namespace {

// Options of Qt's application classes that take the next argument as value.
constexpr const char* kOptionsWithValue[] = {
    "platform",        "platformpluginpath",
    "platformtheme",   "plugin",
    "qwindowgeometry", "qwindowicon",
    "qwindowtitle",    "session",
    "display",         "name",
    "title",           "style",
    "stylesheet",      "geometry",
};

bool TakesValue(const QString& option) {
    QStringView name(option);
    while (name.startsWith(QLatin1Char('-'))) name = name.mid(1);
    if (name.contains(QLatin1Char('='))) return false;
    for (const char* known : kOptionsWithValue) {
        if (name == QLatin1String(known)) return true;
    }
    return false;
}

}  // namespace

QString photoArgument(const QStringList& arguments, const QString& workingFolder) {
    QString photo;
    bool options = true;
    for (qsizetype i = 1; i < arguments.size() && photo.isEmpty(); ++i) {
        const QString& argument = arguments[i];
        if (options && argument == QLatin1String("--")) {
            options = false;
        } else if (options && argument.startsWith(QLatin1Char('-'))) {
            if (TakesValue(argument)) ++i;
        } else if (!argument.isEmpty()) {
            photo = argument;
        }
    }
    if (photo.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        // Only a file of this machine: file:///path or file://localhost/path.
        const QUrl url(photo);
        const bool here = url.host().isEmpty() || url.host() == QLatin1String("localhost");
        photo = url.isLocalFile() && here ? url.path(QUrl::FullyDecoded) : QString();
    }
    if (photo.isEmpty()) return QString();
    return QDir(workingFolder).absoluteFilePath(photo);
}

}  // namespace viewer
