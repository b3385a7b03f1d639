#include "platform/open_url.h"

#include <QDesktopServices>

namespace platform {
namespace {

std::function<bool(const QUrl&)>& Handler() {
    static std::function<bool(const QUrl&)> handler;
    return handler;
}

}  // namespace

bool openUrl(const QUrl& url) {
    if (Handler()) return Handler()(url);
    return QDesktopServices::openUrl(url);
}

void setOpenUrlHandler(std::function<bool(const QUrl&)> handler) { Handler() = std::move(handler); }

}  // namespace platform
