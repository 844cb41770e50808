#include "services/movie_decoder.h"

namespace pelmar {

// The banner is shown only by the Windows installer; the portable build has
// no picture decoder, so every picture is refused and the fallback stays.
bool DecodeMovie(const std::string&, MovieFrames*) { return false; }

}  // namespace pelmar
