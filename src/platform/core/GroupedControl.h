#pragma once

#include <QString>

namespace zentaro {

// A control that belongs to a numbered group of its screen (the number is its tag text),
// so that a screen can empty or unlock a whole group at once.
class GroupedControl
{
public:
    virtual ~GroupedControl() = default;
    virtual QString tag() const = 0;
    virtual void setTag(const QString &tag) = 0;
    // Back to the empty state of a new document.
    virtual void clearContent() = 0;
    // Ready for input: enabled and not locked.
    virtual void unlock() = 0;
};

} // namespace zentaro
