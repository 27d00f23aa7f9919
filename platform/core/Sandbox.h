#pragma once
// The walls a helper program puts up around itself before it reads what a
// stranger sent: from then on it can read and write the pipes it was given,
// take and give back memory, and end; opening a file, making a socket or
// starting a process ends it on the spot.

namespace plat {

// Puts the calling process (single-threaded) inside the walls for good.
// false when they could not be put up; the caller must then stop.
bool EnterDecodeSandbox();

}  // namespace plat
