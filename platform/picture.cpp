#include "platform/picture.h"

namespace platform {

Picture::Picture(const QString& source) : source_(source) {
    if (!source.isEmpty()) pixmap_.load(source);
}

}  // namespace platform
