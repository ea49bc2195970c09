// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The screen-wide mouse pointer.

namespace ui::Screen {

inline constexpr int vbDefault = 0;
inline constexpr int vbArrow = 1;
inline constexpr int vbHourglass = 11;

int MousePointer();
void setMousePointer(int pointer);  // any value other than 0 and 11 shows the arrow

}  // namespace ui::Screen

namespace ui {
// Shows the hourglass for its lifetime and restores the pointer it found.
class BusyPointer {
public:
    BusyPointer();
    ~BusyPointer();
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    int previous_;
};
}  // namespace ui
