#pragma once
// Process attach and detach of the library: the shared block, the log set-up, the driver table.
// The library's constructor and destructor run them (library_main.cpp); tests may call them.

namespace tessiport {

// Attaches to the shared block of this user and sets up the log paths (a process that is alone
// sets them up, later ones use them). False when the block cannot be had; the library then opens
// no boards.
bool attachProcess();
// Windows' entry point: opens or creates the shared block without attaching (see
// SharedBlock::open). False when it cannot be had: the library then refuses to load.
bool openSharedBlock();
// Lets go of a block opened but never attached, as when a host unloads the library unused.
void closeUnattachedBlock();
// Closes the boards this process left open, ends its log, and counts it out of the block.
void detachProcess();
bool processAttached();

}  // namespace tessiport
