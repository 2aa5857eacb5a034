#include "support/TestEnvironment.h"

#include <QApplication>

#include <gtest/gtest.h>

// Tests run with a QApplication so that widgets, fonts and the SQL drivers are available;
// they draw offscreen unless told otherwise.
int main(int argc, char **argv)
{
    zentaro::test::setDefaultEnvironment();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("ZentaroTests"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
