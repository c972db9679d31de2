#pragma once
// The terminal (console) the program writes to.

namespace platform {

// The width in columns of the terminal standard output goes to; 0 when it goes elsewhere.
int outputColumns();

}  // namespace platform
