#pragma once
// The progress bar of a device row. Except while the row is active, the state paints over the
// whole bar: grey idle, green done, red failed.

#include <QColor>
#include <QProgressBar>
#include <cstdint>

namespace gui {

class RowProgressBar : public QProgressBar {
public:
    explicit RowProgressBar(QWidget* parent = nullptr);

    void setRowState(uint32_t state);
    uint32_t rowState() const { return state_; }
    // The colour that covers the bar in `state`; invalid for the active state.
    static QColor fillColour(uint32_t state);
    // The word written over the colour: "done", "failed", or none.
    static QString stateWord(uint32_t state);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    uint32_t state_ = 0;
};

}  // namespace gui
