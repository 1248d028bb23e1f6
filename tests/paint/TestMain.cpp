#include <QFont>
#include <QGuiApplication>

#include <gtest/gtest.h>

// Text measuring and QPainter text need a QGuiApplication; the tests run on the offscreen platform.
int main(int argc, char** argv) {
    // Also when CTest lists the tests at build time, where the test environment is not applied.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    return RUN_ALL_TESTS();
}
