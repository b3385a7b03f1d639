// Every decoder of the photo road loaded before a process shuts itself in
// (the decoder worker): a tiny photo of each format decoded the way a
// request is, so that each plugin, library and table read from disk on
// first use is in memory, and nothing opens a file afterwards.
#pragma once

namespace photo {

void warmUpDecoders();

}  // namespace photo
