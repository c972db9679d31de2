#pragma once
// What a front end shows of a dialog: its controls by id (enabled, checked, caption, progress
// position, list entries), the device row states and the window title. The flows change it and
// tell the host; the host renders it. Texts are UTF-8, as all of the program's texts are.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "programmer/app/control_ids.h"

namespace app {

enum RowState : uint32_t { ROW_IDLE = 0, ROW_ACTIVE = 1, ROW_DONE = 2, ROW_FAILED = 0x8000 };

struct Control {
    bool enabled = true;
    bool checked = false;
    std::string caption;             // button caption or text contents
    int position = 0;                // progress bars: 0..100
    std::vector<std::string> items;  // drop-down lists
    int selected = -1;               // drop-down lists: index of the selected entry, -1 for none
};

class DialogModel {
public:
    // The control with this id, created (enabled, empty) on first use.
    Control& control(int id) { return controls_[id]; }
    // Read-only look-up; a control never touched reads as a default one.
    const Control& control(int id) const;
    bool has(int id) const { return controls_.count(id) != 0; }
    const std::map<int, Control>& controls() const { return controls_; }

    bool isEnabled(int id) const { return control(id).enabled; }
    bool isChecked(int id) const { return control(id).checked; }
    const std::string& caption(int id) const { return control(id).caption; }
    void enable(int id, bool on = true) { control(id).enabled = on; }
    void check(int id, bool on = true) { control(id).checked = on; }
    void setCaption(int id, const std::string& text) { control(id).caption = text; }

    std::string windowTitle;
    std::array<uint32_t, kRowCount> rowState{};

    // Set when a handler ends the dialog; the host then closes it with `result`.
    bool ended = false;
    int result = 0;

private:
    std::map<int, Control> controls_;
};

}  // namespace app
