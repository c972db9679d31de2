#pragma once
// A frame grabber library that cannot be loaded because it is built for the other processor
// width (a 64-bit program cannot load a 32-bit DLL): the cause names the libraries found and the
// program that can load them, instead of leaving the user with "not found".

#include <string>
#include <vector>

#include "programmer/app/camera_factory.h"
#include "programmer/files/pe_machine.h"

namespace app {

// A clser*.dll found in one of the places the serial interface library searches.
struct GrabberCandidate {
    std::string name;
    files::PeMachine machine;
};

// The cause name of a refusal for the other width.
inline constexpr const char* kWrongWidthCause = "wrong-width";

// After the frame grabber library could not be loaded by a program that is 64-bit when
// `program64`: the cause when every candidate of a known width is of the other width. Empty when
// one of this program's width was found, or none of either width.
ConnectionCause GrabberWidthCause(const std::vector<GrabberCandidate>& candidates, bool program64);

// The clser*.dll files of the places the serial interface library searches, with their width.
// Only Windows has such places; elsewhere the list is empty.
std::vector<GrabberCandidate> FindGrabberCandidates();

}  // namespace app
