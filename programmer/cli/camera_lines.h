#pragma once
// What a run of several cameras shows of each camera, from the JSON events of the child that runs
// it: one line per camera redrawn in place on a terminal, or plain lines prefixed with the port.

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace cli {

// One camera of several as its events tell it.
struct CameraState {
    std::string port;
    nlohmann::json serial;  // null until the camera told it
    std::string device;     // the device being worked on, empty between devices
    std::string activity = "connecting";
    int percent = 0;
    int estimateSeconds = -1;           // the whole run's, from the plan
    int64_t estimateAt = 0;             // milliseconds, when the estimate came
    int lastTenth = 0;                  // plain lines: the last 10 % step shown
    std::vector<std::string> commands;  // what finishes the camera after a stop or a failure
    nlohmann::json summary;             // the child's summary, null before
    nlohmann::json camera;              // the child's "camera" event, null before
    bool stoppedAtOnce = false;         // a second signal ended the child before its record
    bool ended = false;
    int status = -1;  // the child's exit status once ended

    // Takes one event in, `now` in milliseconds; returns the plain line it shows (empty: none).
    std::string apply(const nlohmann::json& event, int64_t now);
};

// The camera's line on a terminal `columns` wide: port, serial number, device, bar, percent and
// time left, shortened to fit into columns - 1 characters (the last column would wrap).
std::string cameraLine(const CameraState& camera, int columns, int64_t now);

// Characters (not bytes) of UTF-8 text.
size_t characters(const std::string& text);

}  // namespace cli
