// The reader's version as every face shows it: the window's report as the
// rendering gives it, rfidctl, the connection check and the station's CSV with
// control characters escaped.
#include "devicetext.h"
#include "hex.h"
#include "version.h"

#include <gtest/gtest.h>

using namespace rfid;

TEST(VersionText, OneRenderingForEveryFace) {
    const struct {
        const char* answer;
        QString shown;   // the window's report
        QString printed; // rfidctl, the connection check, the CSV
    } cases[] = {
        {"AA00050056312E3000BB", QStringLiteral("V1.0"), QStringLiteral("V1.0")},
        {"AA000300563200BB", QStringLiteral("V2"), QStringLiteral("V2")}, // an odd count: every byte
        {"AA00010001BB", QString(), QString()},
        {"AA000400561BE900BB", QStringLiteral("V\x1b\u00e9"), QStringLiteral("V\\x1b\u00e9")},
        {"AA0006005631", QStringLiteral("V1"), QStringLiteral("V1")}, // cut short: what came
        {"AA0002018700BB", QString(), QString()},                     // a refusal has no version
        {"AA000102BB", QString(), QString()},
        {"", QString(), QString()},
    };
    for (const auto& c : cases) {
        const QString v = versionText(readAnswer(hexToBytes(QLatin1String(c.answer))));
        EXPECT_EQ(v, c.shown) << c.answer;
        EXPECT_EQ(printableDeviceText(v), c.printed) << c.answer;
    }
}
