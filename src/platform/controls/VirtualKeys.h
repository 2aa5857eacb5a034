#pragma once

#include <Qt>

namespace zentaro::virtualkeys {

// The suite's key events carry the Windows virtual-key numbers (Enter 13, Space 32,
// F2 113...) and a shift state (1 Shift, 2 Ctrl, 4 Alt), because the screens' handlers
// were written against those numbers.

// The virtual-key number of a Qt key; 0 for a key the suite has no number for.
int fromQt(int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// The Qt key of a virtual-key number.
int toQt(int code);
int shiftState(Qt::KeyboardModifiers modifiers);
Qt::KeyboardModifiers modifiers(int shift);

} // namespace zentaro::virtualkeys
