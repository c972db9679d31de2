#include "programmer/app/dialog_model.h"

namespace app {

const Control& DialogModel::control(int id) const {
    static const Control kUntouched;
    const auto found = controls_.find(id);
    return found == controls_.end() ? kUntouched : found->second;
}

}  // namespace app
