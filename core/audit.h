// Every attached reader compared with a set of settings: each is chosen in turn
// and read back while it is held (the per-reader lock), and what it reports is
// compared with what is wanted. Nothing is written.
#pragma once

#include "readerlink.h"
#include "readersettings.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace rfid {

struct ReaderAudit {
    QString device; // the path the USB library lists; empty when it cannot list readers
    QString serial;
    bool answered = false; // the reader was read back
    LinkFailure failure = LinkFailure::None;
    QString problem; // why it was not read, in plain words
    QList<SettingDifference> differences;
    bool agrees() const { return answered && differences.isEmpty(); }
    // The reader answered the read with a refusal: it is there, its settings are unknown.
    bool refused() const { return failure == LinkFailure::Refused; }
};

struct AuditOutcome {
    QList<ReaderAudit> readers;
    QStringList cannotBeReadBack; // keys wanted that no reader reports
    QString problem;              // the USB library could not be loaded; nothing was read
    int answered() const;
    int differing() const; // readers that answered and differ
    int refused() const;   // readers that refused the read
};

// Audits every reader the USB library lists, or only those whose path or serial
// number is `only` when that is given. A library that cannot list readers has
// its own choice audited. The reader chosen before is chosen again afterwards.
AuditOutcome auditReaders(ReaderLink& link, const ReaderSettings& wanted, const QString& only = {});

} // namespace rfid
