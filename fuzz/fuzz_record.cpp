// The record of what this computer last wrote to a reader, and the metrics
// text's label values, on any input.
//
// Input: byte 0 chooses what the rest is (bit 0: 0 a record file, 1 a label value).
#include "check.h"
#include "prometheus.h"
#include "writerecord.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if ((data[0] & 1) == 0) {
        const rfid::ReaderIdentity id{QStringLiteral("1-2.3"), QStringLiteral("0001A7")};
        rfid::LastWrite w;
        w.unreported.sleepTime = 0x01;
        const rfid::LastWrite before = w;
        QString problem;
        if (rfid::parseWriteRecord(rest, id, w, problem)) {
            // What was read writes out and reads back the same.
            rfid::LastWrite again;
            FUZZ_CHECK(rfid::parseWriteRecord(rfid::writeRecordText(id, QStringLiteral("/dev/hidraw3"), w),
                                              id, again, problem),
                       problem);
            FUZZ_CHECK(again.unreported == w.unreported && again.reported == w.reported);
        } else {
            FUZZ_CHECK(!problem.isEmpty());
            FUZZ_CHECK(w.unreported == before.unreported,
                       QStringLiteral("a refused record changed the settings"));
        }
        return 0;
    }
    const QString label = rfid::prometheusLabelValue(QString::fromUtf8(rest));
    FUZZ_CHECK(!label.contains(QLatin1Char('\n')), label);
    // Every double quote and backslash is escaped: read back, the escapes pair up.
    for (qsizetype i = 0; i < label.size(); ++i) {
        if (label[i] == QLatin1Char('\\')) {
            FUZZ_CHECK(i + 1 < label.size() && QStringLiteral("\\\"n").contains(label[i + 1]), label);
            ++i;
        } else {
            FUZZ_CHECK(label[i] != QLatin1Char('"'), label);
        }
    }
    return 0;
}
