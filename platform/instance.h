// The previous-instance test of start-up.
#pragma once

#include <string>

namespace platform {

// True when another copy of this program runs for this user. The first copy
// holds an advisory lock for its whole life; the kernel drops the lock when
// the process ends, however it ends, so a crashed copy never blocks a start.
// `lockName` names the lock file inside the user's runtime folder.
bool PrevInstance(const std::string& lockName = "exifviewer.lock");

}  // namespace platform
