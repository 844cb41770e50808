#pragma once

#include <string>

#include "base/movie_sink.h"

namespace pelmar {

// The banner picture's frames from the bytes a server sent: a GIF
// ("GIF87a"/"GIF89a") whose width x height x frames stay within
// kMaxBannerPixels, with one delay per frame when it has more than one.
// Every frame is drawn here, on the calling thread. False for anything else
// (another format, too large, unreadable, an animation without delays), and
// where the platform has no picture decoder; `movie` is then unchanged.
[[nodiscard]] bool DecodeMovie(const std::string& bytes, MovieFrames* movie);

}  // namespace pelmar
