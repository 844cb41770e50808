#pragma once

namespace pelmar::demo {

// Exit codes of the demo setup program. The installer treats every code but 0
// as a failed installation; the others tell a person (or a test) which step
// refused.
inline constexpr int kExitInstalled = 0;
inline constexpr int kExitBadCommandLine = 2;
inline constexpr int kExitBadDirectory = 3;          // empty, relative, or above its root
inline constexpr int kExitDirectoryNotWritable = 4;  // cannot be created
inline constexpr int kExitCopyFailed = 5;            // the product could not be written
inline constexpr int kExitRegistryFailed = 6;        // entry unchanged

}  // namespace pelmar::demo
