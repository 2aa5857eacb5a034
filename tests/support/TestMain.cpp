#include <QApplication>

#include <gtest/gtest.h>

// Tests run with a QApplication so that widgets, fonts and the SQL drivers are available;
// CTest sets QT_QPA_PLATFORM=offscreen.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("ZentaroTests"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
