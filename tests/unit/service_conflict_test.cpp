// The station and the plug-in service on one computer: the station refuses
// only when the service's file exists and says something else.
#include "servicefile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(ServiceConflict, OnlyAnotherServiceFileStopsTheStation) {
    QTemporaryDir dir;
    auto write = [&](const char* name, const QByteArray& text) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return f.fileName();
    };
    const QString station = write("station.json", R"({"version":1,"language":"German"})");
    const QString same = write("same.json", R"({"version":1,"language":"German"})");
    const QString other = write("other.json", R"({"version":1,"language":"French"})");
    const struct {
        QString service;
        bool refused;
    } cases[] = {
        {dir.filePath("missing.json"), false},
        {station, false},
        {same, false},
        {other, true},
        {dir.path(), true}, // a folder in its place is not the station's file
    };
    for (const auto& c : cases) {
        const QString why = rfid::serviceConflict(station, c.service);
        EXPECT_EQ(!why.isEmpty(), c.refused) << c.service.toStdString();
        if (c.refused) {
            EXPECT_TRUE(why.contains(c.service) && why.contains(station)) << why.toStdString();
        }
    }
}

} // namespace
