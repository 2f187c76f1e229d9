// The "playback" command of the check program: one file played through the module's decoding thread the way a player
// does, with the records read back byte by byte.
#pragma once

#include "host/Commands.h"

namespace qw::check {

// playback INPUT NAME SEEK_MS
//   After Initialise: where the module put its callbacks and its state, and whether it left the host's slots alone;
//   the descriptor and the about record; then three plays of INPUT:
//   1. held at its first block, when the state, the block and the song information are read; then a seek to
//      SEEK_MS; PCM to NAME.seek.pcm;
//   2. a stop while the third block is being written;
//   3. a start after the stop, played to the end; PCM to NAME.restart.pcm.
// On 32-bit builds every field is read at its fixed byte offset, not by its name, so the output shows the module's
// layout as it is at run time.
int playbackCommand(const host::Options& options);

}  // namespace qw::check
