#include "programmer/app/row_look.h"

#include "programmer/app/dialog_model.h"

namespace app {

RowLook RowLookOf(uint32_t state) {
    switch (state) {
        case ROW_ACTIVE:
            return {};
        case ROW_DONE:
            return {true, 0, 255, 0, "done"};
        case ROW_FAILED:
            return {true, 255, 0, 0, "failed"};
        default:
            return {true, 160, 160, 160, ""};  // idle, and any state the flows do not name
    }
}

}  // namespace app
