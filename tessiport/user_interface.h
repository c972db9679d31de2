#pragma once
// The host's user interface, registered with Register_User_Interface.

#include "tessiport/include/tessiport.h"

namespace tessiport {

// A copy of what the host registered; all members empty when nothing is registered.
TP_UserInterface registeredUserInterface();

}  // namespace tessiport
