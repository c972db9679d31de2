#pragma once
// What the ports command finds on this machine, as its JSON report: "devices" (the serial
// devices, each with its "path", "driver" and "portIndex"), "libraryPlaces" (the folders the
// serial interface library searches) and "cameraLinkLibraries" (each with "path" and "grabber");
// and how this platform's part of the report reads as text.

#include <ostream>

#include <nlohmann/json.hpp>

namespace cli {

nlohmann::json scanPorts();
// The serial devices and what --port N opens.
void printSerialDevices(const nlohmann::json& report, std::ostream& out);
// The file pattern of the serial libraries, and where another folder of them is named.
extern const char* const kSerialLibraryPattern;
extern const char* const kOtherLibraryFolder;

}  // namespace cli
