// Opening a web address in the user's browser, with a seam so that tests see
// the address instead of starting a browser.
#pragma once

#include <QUrl>
#include <functional>

namespace platform {

// Hands the address to the desktop (QDesktopServices); false when it refused.
bool openUrl(const QUrl& url);
// Tests replace the desktop: the handler gets each address and answers for it.
// An empty handler restores the desktop.
void setOpenUrlHandler(std::function<bool(const QUrl&)> handler);

}  // namespace platform
