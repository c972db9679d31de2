#include "tessiport/serial_selection.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "platform/places.h"
#include "protocol/com_transport.h"
#include "tessiport/include/tessiport.h"
#include "tessiport/library_log.h"
#include "tessiport/selection_dialog.h"
#include "tessiport/user_interface.h"

namespace tessiport {

namespace {
constexpr size_t kItemTextLimit = 256;  // an item this long is not taken
constexpr int kHighestComPort = 15;
constexpr const char* kPreferred = "clsermtx";

bool startsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           ::strncasecmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

void addItem(SerialChoices& choices, const std::string& item, const std::string& path) {
    choices.items.push_back(item);
    choices.paths.push_back(path);
    LogMessage(level::kInfo, 1, "serDlgProc: INITDIALOG add %s", item.c_str());
}

// The system or the local place: a library whose base name begins an item already listed (in any
// case) is left out, so a copy of a CLSERIALPATH library is offered once.
void addPlace(SerialChoices& choices, const std::string& dir) {
    const std::vector<std::string> files = dir.empty() ? std::vector<std::string>()
                                                       : findSerialLibraries(dir);
    if (files.empty()) {
        LogMessage(level::kInfo, 1, "serDlgProc: no files found in %s%s", dir.c_str(),
                   kSerialPattern);
        return;
    }
    for (const std::string& file : files) {
        LogMessage(level::kInfo, 1, "serDlgProc: INITDIALOG found %s", file.c_str());
        const std::string base = offeredName(file);
        if (base.empty()) continue;
        bool listed = false;
        for (const std::string& item : choices.items) listed = listed || startsWithNoCase(item, base);
        if (!listed) addItem(choices, base, dir + file);
    }
}

std::string withSeparator(const std::string& dir) {
    return dir.empty() || dir.back() == platform::kPathSeparator ? dir
                                                                 : dir + platform::kPathSeparator;
}

// What the user chose; 0 when no choice can be made.
int32_t presentChoices(const SerialChoices& choices, uint32_t& chosen) {
    const TP_UserInterface ui = registeredUserInterface();
    if (ui.chooseSerialLibrary != nullptr) {
        std::vector<const char*> texts;
        for (const std::string& item : choices.items) texts.push_back(item.c_str());
        const int32_t result = ui.chooseSerialLibrary(ui.context, texts.data(),
                                                      uint32_t(texts.size()),
                                                      choices.preselected, &chosen);
        return result == kDialogChosen || result == kDialogCancelled ? result : kDialogNoChoice;
    }
    return showSelectionDialog(choices.items, choices.preselected, chosen);
}
}  // namespace

SerialChoices listSerialChoices(const SerialPlaces& places, bool allowComPorts) {
    SerialChoices choices;
    if (!places.registryKey) {
        LogMessage(level::kInfo, 1, "serDlgProc: no cameralink key found in registry");
    } else if (places.registryDir.empty()) {
        LogMessage(level::kInfo, 1, "serDlgProc: no CLSERIALPATH value found in registry");
    } else {
        LogMessage(level::kInfo, 1, "serDlgProc: scan registry CLSERIALPATH Directory %s",
                   places.registryDir.c_str());
        const std::vector<std::string> files = findSerialLibraries(places.registryDir);
        if (files.empty())
            LogMessage(level::kInfo, 1, "serDlgProc: no files found in %s%s",
                       places.registryDir.c_str(), kSerialPattern);
        for (const std::string& file : files) {
            LogMessage(level::kInfo, 1, "serDlgProc: INITDIALOG found %s", file.c_str());
            const std::string base = offeredName(file);
            if (!base.empty()) addItem(choices, base + "*", places.registryDir + file);
        }
    }
    LogMessage(level::kInfo, 1, "serDlgProc: scan System_Directory %s%c", places.systemDir.c_str(),
               platform::kPathSeparator);
    addPlace(choices, withSeparator(places.systemDir));
    LogMessage(level::kInfo, 1, "serDlgProc: scan local Directory %s", places.ownDir().c_str());
    addPlace(choices, places.ownDir());

    for (size_t i = 0; i < choices.items.size(); ++i) {
        if (startsWithNoCase(choices.items[i], kPreferred)) {
            choices.preselected = uint32_t(i);
            break;
        }
    }
    if (allowComPorts) {
        LogMessage(level::kInfo, 1, "serDlgProc: INITDIALOG search comports");
        for (int port = 0; port <= kHighestComPort; ++port) {
            if (protocol::ComTransport::portTest(port) != protocol::kOk) continue;
            const std::string item = "ComPort" + std::to_string(port);
            addItem(choices, item, item);
        }
    }
    return choices;
}

int serDlgProc(DriverEntry& entry, const SerialPlaces& places) {
    LogMessage(level::kInfo, 1, "serDlgProc: INITDIALOG");
    const SerialChoices choices =
        listSerialChoices(places, (entry.initmode & INITMODE_ALLOW_COMPORT) != 0);
    uint32_t chosen = 0;
    const int32_t result = presentChoices(choices, chosen);
    if (result != kDialogChosen) return result;
    if (chosen >= choices.items.size() || choices.items[chosen].size() >= kItemTextLimit)
        return kDialogNoChoice;
    // The file found is stored with its folder, so the loader takes exactly that file: its own
    // search would not look in the system or the local place.
    const std::string& path = choices.paths[chosen];
    if (path.size() >= sizeof entry.libraryPath) return kDialogNoChoice;
    std::snprintf(entry.libraryPath, sizeof entry.libraryPath, "%s", path.c_str());
    return kDialogChosen;
}

int32_t askOnTerminal(std::FILE* in, std::FILE* out, const std::vector<std::string>& items,
                      uint32_t preselected, uint32_t& chosen) {
    std::fprintf(out, "Select clser*.dll for the requested CameraLink Framegrabber\n");
    if (items.empty()) {
        std::fprintf(out, "No serial library or COM port found.\n");
        return kDialogNoChoice;
    }
    for (size_t i = 0; i < items.size(); ++i)
        std::fprintf(out, "%3zu  %s\n", i + 1, items[i].c_str());
    char answer[64];
    for (;;) {
        std::fprintf(out, "Number [%u], or c to cancel: ", unsigned(preselected + 1));
        std::fflush(out);
        if (std::fgets(answer, sizeof answer, in) == nullptr) return kDialogNoChoice;
        char* text = answer;
        while (*text == ' ' || *text == '\t') ++text;
        text[std::strcspn(text, " \t\r\n")] = '\0';
        if (text[0] == '\0') {
            chosen = preselected;
            return kDialogChosen;
        }
        if ((text[0] == 'c' || text[0] == 'C') && text[1] == '\0') return kDialogCancelled;
        char* end = nullptr;
        const unsigned long number = std::strtoul(text, &end, 10);
        if (*end == '\0' && number >= 1 && number <= items.size()) {
            chosen = uint32_t(number - 1);
            return kDialogChosen;
        }
        std::fprintf(out, "Please give a number from 1 to %zu.\n", items.size());
    }
}

}  // namespace tessiport
