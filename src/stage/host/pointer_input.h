// The user's pointer on the character: a press, a move past a small threshold that turns it into
// a drag (the frame follows the pointer), the release that drops it, a click, a double-click, and
// the right button that asks for the menu.
#pragma once

#include <functional>
#include <optional>

namespace zinna::stage {

enum class PointerButton { Left = 1, Right = 2, Middle = 4 };

// What the input means for the character; the host turns these into the control's events.
class PointerListener {
public:
    virtual ~PointerListener() = default;
    virtual void OnClick(PointerButton button, int x, int y) = 0;
    virtual void OnDoubleClick(PointerButton button, int x, int y) = 0;
    virtual void OnDragStart(int x, int y) = 0;
    virtual void OnDragMove(int frameX, int frameY) = 0;  // where the frame's top-left corner now is
    virtual void OnDragComplete(int x, int y) = 0;
    virtual void OnMenuRequested(int x, int y) = 0;
};

inline constexpr int kDragThreshold = 4;  // pixels the pointer travels before a press becomes a drag

class PointerInput {
public:
    explicit PointerInput(PointerListener& listener) : listener_(listener) {}

    // Screen positions of the pointer; frameX, frameY: the frame's corner at the press.
    void Press(PointerButton button, int x, int y, int frameX, int frameY);
    void Move(int x, int y);
    void Release(PointerButton button, int x, int y);
    void DoubleClick(PointerButton button, int x, int y);
    bool Dragging() const { return press_ && press_->dragging; }

private:
    struct Held {
        PointerButton button;
        int startX, startY;
        int grabX, grabY;  // the pointer's offset inside the frame
        bool dragging = false;
    };
    PointerListener& listener_;
    std::optional<Held> press_;
};

}  // namespace zinna::stage
