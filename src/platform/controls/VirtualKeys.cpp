#include "platform/controls/VirtualKeys.h"

namespace zentaro::virtualkeys {

namespace {

struct Pair
{
    int code;
    int qtKey;
};

// Keys whose virtual-key number differs from their Qt key; digits and capital letters
// share their numbers, function keys are a run of their own.
constexpr Pair kKeys[] = {
    {8, Qt::Key_Backspace}, {9, Qt::Key_Tab},     {13, Qt::Key_Return}, {16, Qt::Key_Shift},
    {17, Qt::Key_Control},  {18, Qt::Key_Alt},    {27, Qt::Key_Escape}, {32, Qt::Key_Space},
    {33, Qt::Key_PageUp},   {34, Qt::Key_PageDown}, {35, Qt::Key_End},  {36, Qt::Key_Home},
    {37, Qt::Key_Left},     {38, Qt::Key_Up},     {39, Qt::Key_Right},  {40, Qt::Key_Down},
    {45, Qt::Key_Insert},   {46, Qt::Key_Delete},
};

} // namespace

int fromQt(int qtKey, Qt::KeyboardModifiers modifiers)
{
    if (qtKey == Qt::Key_Enter)
        return 13;
    if (qtKey == Qt::Key_Backtab)
        return 9;
    for (const Pair &pair : kKeys)
        if (pair.qtKey == qtKey)
            return pair.code;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12)
        return 112 + (qtKey - Qt::Key_F1);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return (modifiers & Qt::KeypadModifier) ? 96 + (qtKey - Qt::Key_0) : qtKey;
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return qtKey;
    return 0;
}

int toQt(int code)
{
    for (const Pair &pair : kKeys)
        if (pair.code == code)
            return pair.qtKey;
    if (code >= 112 && code <= 123)
        return Qt::Key_F1 + (code - 112);
    if (code >= 96 && code <= 105)
        return Qt::Key_0 + (code - 96);
    return code;
}

int shiftState(Qt::KeyboardModifiers modifiers)
{
    int shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= 1;
    if (modifiers & Qt::ControlModifier)
        shift |= 2;
    if (modifiers & Qt::AltModifier)
        shift |= 4;
    return shift;
}

Qt::KeyboardModifiers modifiers(int shift)
{
    Qt::KeyboardModifiers result;
    if (shift & 1)
        result |= Qt::ShiftModifier;
    if (shift & 2)
        result |= Qt::ControlModifier;
    if (shift & 4)
        result |= Qt::AltModifier;
    return result;
}

} // namespace zentaro::virtualkeys
