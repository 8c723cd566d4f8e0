#include "stage/host/pointer_input.h"

#include <cstdlib>

namespace zinna::stage {

void PointerInput::Press(PointerButton button, int x, int y, int frameX, int frameY) {
    if (press_) return;  // a second button during a press is ignored
    press_ = Held{button, x, y, x - frameX, y - frameY};
}

void PointerInput::Move(int x, int y) {
    if (!press_ || press_->button != PointerButton::Left) return;
    if (!press_->dragging) {
        if (std::abs(x - press_->startX) < kDragThreshold && std::abs(y - press_->startY) < kDragThreshold) return;
        press_->dragging = true;
        listener_.OnDragStart(press_->startX, press_->startY);
    }
    listener_.OnDragMove(x - press_->grabX, y - press_->grabY);
}

void PointerInput::Release(PointerButton button, int x, int y) {
    if (!press_ || press_->button != button) return;
    Held ended = *press_;
    press_.reset();
    if (ended.dragging) {
        listener_.OnDragMove(x - ended.grabX, y - ended.grabY);
        listener_.OnDragComplete(x, y);
    } else if (button == PointerButton::Right) {
        listener_.OnMenuRequested(x, y);
    } else {
        listener_.OnClick(button, x, y);
    }
}

void PointerInput::DoubleClick(PointerButton button, int x, int y) {
    press_.reset();
    listener_.OnDoubleClick(button, x, y);
}

}  // namespace zinna::stage
