// The audio a file's header says it holds, read from the header itself: libsndfile answers the
// frames the file holds, and for some containers says nothing when the header promised more.
#pragma once

#include <cstdint>

namespace qelhost {

struct StatedAudio
{
    std::int64_t bytes = -1; // the audio's length as the header states it; -1 when it states none
    std::int64_t held = 0;   // the bytes of that audio the file holds
    bool cut = false;        // the file ends before that audio, or inside its header
    // The sample frames the header counts apart from the audio's bytes (AIFF and AIFC; compressed
    // AIFC counts its packets there), -1 when it counts none.
    std::int64_t frames = -1;
};

// Reads the header of a WAVE (RIFF, RIFX, RF64, BW64), Wave64, AIFF/AIFC or Sun/NeXT (.au) file
// through `fd` from its offset 0, without moving the descriptor's offset. Any other file, or
// one that states no length (streamed with the size left open), answers bytes -1 and not cut.
// Reads only chunk headers, however large the sizes they claim; stated sizes beyond 2^63 - 1
// are taken as 2^63 - 1.
StatedAudio statedAudio(int fd);

// Whether the MPEG audio `fd` holds (read as statedAudio reads) counts its frames: a Xing or Info
// header with a frame count in its first Layer III frame, past ID3v2 tags or other bytes, as
// libsndfile's decoder takes it. It estimates the length of any other stream from its size.
bool mpegFramesCounted(int fd);

} // namespace qelhost
