#include <QFont>
#include <QGuiApplication>

#include <gtest/gtest.h>

// Text measuring and QPainter text need a QGuiApplication; the tests run on the offscreen platform.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    QGuiApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    return RUN_ALL_TESTS();
}
