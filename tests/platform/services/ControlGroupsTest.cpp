#include "platform/core/GroupedControl.h"
#include "platform/services/Utilities.h"

#include <QWidget>

#include <gtest/gtest.h>

using namespace zentaro;

namespace {

// A control that only records what the group actions did to it.
class FakeControl : public QWidget, public GroupedControl
{
public:
    FakeControl(const QString &group, QWidget *parent) : QWidget(parent), m_tag(group) {}
    QString tag() const override { return m_tag; }
    void setTag(const QString &tag) override { m_tag = tag; }
    void clearContent() override { ++cleared; }
    void unlock() override { ++unlocked; }

    int cleared = 0;
    int unlocked = 0;

private:
    QString m_tag;
};

TEST(ControlGroups, ActOnEveryControlOfTheGroupAndNoOther)
{
    QWidget screen;
    auto *frame = new QWidget(&screen);   // controls sit in frames and tab pages
    auto *direct = new FakeControl(QStringLiteral("1"), &screen);
    auto *nested = new FakeControl(QStringLiteral("1"), frame);
    auto *other = new FakeControl(QStringLiteral("2"), frame);
    auto *untagged = new FakeControl(QString(), &screen);
    new QWidget(frame);   // a plain widget is no member of any group

    Utilities utilities;
    utilities.ClearControls(&screen, 1);
    utilities.EnableControls(&screen, 2);
    utilities.EnableControls(&screen, 3);   // an empty group: nothing happens
    utilities.ClearControls(nullptr, 1);    // no screen yet: nothing to do

    EXPECT_EQ(direct->cleared, 1);
    EXPECT_EQ(nested->cleared, 1);
    EXPECT_EQ(other->cleared, 0);
    EXPECT_EQ(untagged->cleared, 0);
    EXPECT_EQ(direct->unlocked + nested->unlocked + untagged->unlocked, 0);
    EXPECT_EQ(other->unlocked, 1);
}

} // namespace
