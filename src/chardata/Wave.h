// Embedded sounds: the checks a RIFF WAVE image in a character file must pass before the
// platform is asked to play it from memory.
#pragma once

#include "chardata/ImageView.h"

namespace kp {

// The length of the RIFF WAVE image at `off` (its 8-byte header included) when the platform can
// read all of it without leaving the image, else 0. The platform reads each chunk for the size
// the chunk claims, so the whole RIFF must lie inside the image, its form must be WAVE, and every
// chunk in it (`fmt `, `data` and any other) must lie inside the RIFF; a `fmt ` chunk of at least
// 16 bytes and a `data` chunk must be there. The pad byte after an odd-sized last chunk may be
// missing, and fewer bytes than a chunk header at the end are ignored, as readers do.
FileOffset PlayableWaveSize(const ImageView& image, FileOffset off);

} // namespace kp
