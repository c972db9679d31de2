#include "tessiport/selection_dialog.h"

#include <unistd.h>

#include <cstdio>

#include "tessiport/serial_selection.h"

namespace tessiport {

int32_t showSelectionDialog(const std::vector<std::string>& items, uint32_t preselected,
                            uint32_t& chosen) {
    if (::isatty(STDIN_FILENO) && ::isatty(STDERR_FILENO))
        return askOnTerminal(stdin, stderr, items, preselected, chosen);
    return kDialogNoChoice;
}

}  // namespace tessiport
