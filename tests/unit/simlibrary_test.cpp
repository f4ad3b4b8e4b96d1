#include "simlibrary.h"
#include "usblink.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace rfid;

// rfidctl --sim and rfid-demo --sim take the simulated reader by its full path:
// the installed copy first, then the build tree's; never the real USB library
// that lies beside the program.
TEST(SimulatedReaderLookup, InstalledThenBuildTreeNeverTheRealOne) {
    struct Case {
        const char* what;
        bool installed;       // the simulated reader where the installation puts it
        const char* pointer;  // rfidctl-sim-dir beside the program: "built", "empty" or none
        bool builtLibrary;    // the build tree's simulated reader exists
        const char* expected; // "installed", "built" or "" (not found)
    };
    const Case cases[] = {
        {"installed", true, nullptr, false, "installed"},
        {"installed wins over the build tree", true, "built", true, "installed"},
        {"build tree", false, "built", true, "built"},
        {"pointer to a folder without it", false, "built", false, ""},
        {"empty pointer", false, "empty", false, ""},
        {"only the real library", false, nullptr, false, ""},
    };
    const QString name = UsbLibrary::defaultFileName();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir root;
        ASSERT_TRUE(root.isValid());
        const QDir top(root.path());
        const QString program = top.filePath(QStringLiteral("bin"));
        const QString installedDir = QDir::cleanPath(program + QStringLiteral("/" RFID_INSTALLED_SIM_DIR));
        const QString builtDir = top.filePath(QStringLiteral("build/sim"));
        for (const QString& dir : {program, installedDir, builtDir})
            ASSERT_TRUE(QDir().mkpath(dir));
        auto touch = [](const QString& path) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        };
        // The real library always lies beside the program.
        touch(QDir(program).filePath(name));
        if (c.installed)
            touch(QDir(installedDir).filePath(name));
        if (c.builtLibrary)
            touch(QDir(builtDir).filePath(name));
        if (c.pointer) {
            QFile f(QDir(program).filePath(QStringLiteral("rfidctl-sim-dir")));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            if (QByteArray(c.pointer) == "built")
                f.write(builtDir.toUtf8() + "\n");
        }
        const QString expected = QByteArray(c.expected) == "installed" ? QDir(installedDir).filePath(name)
                                 : QByteArray(c.expected) == "built"   ? QDir(builtDir).filePath(name)
                                                                       : QString();
        EXPECT_EQ(simulatedReaderLibrary(program).toStdString(),
                  QDir::toNativeSeparators(expected).toStdString());
    }
}
