#ifndef MALVORANT_LARGEBLOCKS_H
#define MALVORANT_LARGEBLOCKS_H

namespace platform {

// Blocks of a megabyte and more (decoded images, texture copies of the
// software renderer) are taken from the system and handed back when freed,
// instead of staying behind as holes in the heap. By default the C library
// raises that limit up to 32 MB each time such a block is freed, so the
// start-up's large temporaries (the splash picture, shader builds) end up
// kept. Call once, first thing in main; a limit set through the C library's
// environment variable stays.
void returnLargeBlocksToSystem();

// Hands the free parts of the heap back to the system: what a finished burst
// of work (building the screens, compiling shaders) freed stays resident
// otherwise. Takes a few milliseconds.
void returnFreedMemoryToSystem();

} // namespace platform

#endif
