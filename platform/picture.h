// A picture object as the forms and controls hold it: the pixels, shared
// between holders, and the resource path they came from, which is what a
// property store keeps.
#pragma once

#include <QPixmap>
#include <QString>

namespace platform {

class Picture {
public:
    Picture() = default;
    // Loads the picture at a file or resource path (":/pictures/...").
    explicit Picture(const QString& source);
    // A picture supplied by a host in code; it has no path, so it is not stored.
    explicit Picture(const QPixmap& pixmap) : pixmap_(pixmap) {}

    bool isNull() const { return pixmap_.isNull(); }
    const QPixmap& pixmap() const { return pixmap_; }
    QString source() const { return source_; }

private:
    QString source_;
    QPixmap pixmap_;
};

}  // namespace platform
