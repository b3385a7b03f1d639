// Why a photo could not be shown, in words the user can read.
#pragma once

#include <QString>

namespace photo {

enum class Problem {
    None,
    Missing,                 // no file at the path
    NoPermission,            // the file is there but may not be read
    NotAPhoto,               // not a file of a kind the viewer shows
    Damaged,                 // its header cannot be read, or claims what its bytes cannot hold
    DecodeFailed,            // the header was read, the pixels could not be
    TooLarge,                // showing it would take more memory than a preview may
    UnsupportedCompression,  // a kind of file the viewer shows, coded in a way its decoders do not
                             // read
};

// "文件不存在", "没有读取权限", ...; empty for None.
QString reasonText(Problem problem);

}  // namespace photo
