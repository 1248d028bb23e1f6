#pragma once

// The main() of the test programs that need widgets.

#include "ui/QxApplication.h"

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

namespace quorvex::testing {

// Widgets need an application object; the tests run under QT_QPA_PLATFORM=offscreen. Home, config
// and runtime folders point into a throw-away folder so that no test touches the user's own files.
inline int RunWidgetTests(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    const QByteArray root = QFile::encodeName(home.path());
    for (const char* folder : {"config", "runtime", "data"})
        QDir(home.path()).mkpath(QString::fromLatin1(folder));
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data"); // the trash too
    qputenv("XDG_RUNTIME_DIR", root + "/runtime");
    QFile::setPermissions(home.path() + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    quorvex::TQxApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // By bytes: the trash there holds names Qt's own removal cannot decode.
    home.setAutoRemove(false);
    std::error_code ignored;
    std::filesystem::remove_all(root.toStdString(), ignored);
    return result;
}

} // namespace quorvex::testing
