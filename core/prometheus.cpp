#include "prometheus.h"

namespace rfid {

namespace {

struct Metric {
    const char* name;
    const char* help;
};

const Metric kUp{
    "rfid_reader_up",
    "Whether the reader answered the audit's read (1), with its settings or a refusal, or not (0)."};
const Metric kRefused{"rfid_reader_refused",
                      "Whether the reader refused the audit's read (1) or gave its settings (0)."};
const Metric kAgrees{"rfid_reader_agrees",
                     "Whether the reader's settings agree with the settings file (1) or "
                     "not (0); only for readers that gave their settings."};
const Metric kDifferences{"rfid_reader_differences",
                          "The number of settings in which the reader differs from the settings file."};
const Metric kSettingDiffers{
    "rfid_reader_setting_differs",
    "A setting in which the reader differs from the settings file, with both values."};
const Metric kReaders{"rfid_audit_readers", "The number of readers the audit found."};
const Metric kTime{"rfid_audit_timestamp_seconds", "When the audit ran, in seconds since 1970-01-01 UTC."};

void head(QString& out, const Metric& m) {
    out +=
        QStringLiteral("# HELP %1 %2\n# TYPE %1 gauge\n").arg(QLatin1String(m.name), QLatin1String(m.help));
}

QString labels(const ReaderAudit& r) {
    return QStringLiteral("device=\"%1\",serial=\"%2\"")
        .arg(prometheusLabelValue(r.device), prometheusLabelValue(r.serial));
}

void sample(QString& out, const Metric& m, const QString& labelText, qint64 value) {
    out += QLatin1String(m.name) + QLatin1Char('{') + labelText + QStringLiteral("} ") +
           QString::number(value) + QLatin1Char('\n');
}

} // namespace

QString prometheusLabelValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('"'))
            out += QStringLiteral("\\\"");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else
            out += c;
    }
    return out;
}

QByteArray auditMetrics(const AuditOutcome& audit, qint64 unixSeconds) {
    QString out;
    head(out, kUp);
    for (const ReaderAudit& r : audit.readers)
        sample(out, kUp, labels(r), r.answered || r.refused() ? 1 : 0);
    head(out, kRefused);
    for (const ReaderAudit& r : audit.readers) {
        if (r.answered || r.refused())
            sample(out, kRefused, labels(r), r.refused() ? 1 : 0);
    }
    // A reader that was not read has no verdict: one fault, one alert (up or refused).
    head(out, kAgrees);
    for (const ReaderAudit& r : audit.readers) {
        if (r.answered)
            sample(out, kAgrees, labels(r), r.agrees() ? 1 : 0);
    }
    head(out, kDifferences);
    for (const ReaderAudit& r : audit.readers) {
        if (r.answered)
            sample(out, kDifferences, labels(r), r.differences.size());
    }
    head(out, kSettingDiffers);
    for (const ReaderAudit& r : audit.readers) {
        for (const SettingDifference& d : r.differences) {
            sample(out, kSettingDiffers,
                   labels(r) + QStringLiteral(",key=\"%1\",reader=\"%2\",wanted=\"%3\"")
                                   .arg(prometheusLabelValue(keyName(d.key)), prometheusLabelValue(d.reader),
                                        prometheusLabelValue(d.wanted)),
                   1);
        }
    }
    head(out, kReaders);
    out += QLatin1String(kReaders.name) + QLatin1Char(' ') + QString::number(audit.readers.size()) +
           QLatin1Char('\n');
    head(out, kTime);
    out += QLatin1String(kTime.name) + QLatin1Char(' ') + QString::number(unixSeconds) + QLatin1Char('\n');
    return out.toUtf8();
}

} // namespace rfid
