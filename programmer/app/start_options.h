#pragma once
// The options the command line sets; fields of the main dialog, handed on to the connection
// dialog.

#include <string>

namespace app {

constexpr const char* kDefaultGrabberDll = "clserme4.dll";
// The command line keeps at most this many characters of a -N name.
constexpr size_t kGrabberDllOptionMax = 40;
// The camera link's name field holds 20 bytes, so at most 19 characters reach it.
constexpr size_t kGrabberDllLinkMax = 19;

// Every front end refuses a longer name: cut short, it would load another library, or none.
// Empty when `name` fits, else the message that says so.
inline std::string GrabberDllRefusal(const std::string& name) {
    if (name.size() <= kGrabberDllLinkMax) return {};
    return "Framegrabber library name " + name + " is too long: at most " +
           std::to_string(kGrabberDllLinkMax) + " characters.\nConnection failed!\n";
}

enum InterfaceType { kInterfaceComPort = 0, kInterfaceFirewire = 1, kInterfaceCameraLink = 2,
                     kInterfaceUsb = 3, kInterfaceGigE = 4 };
enum PacketMode { kPacketNormal = 0, kPacketDevice = 1, kPacketFile = 2 };

struct StartOptions {
    int interfaceType = kInterfaceComPort;  // -T, 0..3
    int portNumber = 0;                      // -B, 0..8
    std::string grabberDll = kDefaultGrabberDll;  // -N, at most 40 characters
    bool emergencyMode = false;              // -E
    int packetMode = kPacketNormal;          // -P, 0..2
    bool connectWithoutDialog = false;       // -S
};

}  // namespace app
