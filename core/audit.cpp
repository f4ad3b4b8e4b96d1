#include "audit.h"

#include "writeflow.h"

namespace rfid {

int AuditOutcome::answered() const {
    int n = 0;
    for (const ReaderAudit& r : readers)
        n += r.answered ? 1 : 0;
    return n;
}

int AuditOutcome::differing() const {
    int n = 0;
    for (const ReaderAudit& r : readers)
        n += r.answered && !r.differences.isEmpty() ? 1 : 0;
    return n;
}

int AuditOutcome::refused() const {
    int n = 0;
    for (const ReaderAudit& r : readers)
        n += r.refused() ? 1 : 0;
    return n;
}

namespace {

void readOne(ReaderLink& link, const ReaderSettings& wanted, ReaderAudit& audit) {
    LinkOperation hold(link);
    if (!hold.held()) {
        audit.failure = LinkFailure::InUse;
        audit.problem = hold.error();
        return;
    }
    const ReadBack r = readBack(link);
    if (!r.settings) {
        audit.failure = r.failure();
        audit.problem = r.problem;
        return;
    }
    audit.answered = true;
    audit.differences = settingDifferences(*r.settings, wanted);
}

} // namespace

AuditOutcome auditReaders(ReaderLink& link, const ReaderSettings& wanted, const QString& only) {
    AuditOutcome out;
    out.cannotBeReadBack = unreportedKeys(wanted);
    UsbLibrary& usb = link.library();
    if (!usb.isLoaded()) {
        out.problem = linkProblemText(LinkFailure::NoLibrary, usb.fileName());
        return out;
    }
    const auto readers = usb.readers();
    if (!readers) {
        ReaderAudit audit;
        audit.device = only;
        readOne(link, wanted, audit);
        out.readers << audit;
        return out;
    }
    const QString before = usb.selectedReader();
    for (const ReaderEntry& entry : *readers) {
        if (!only.isEmpty() && entry.path != only && entry.serial != only)
            continue;
        ReaderAudit audit;
        audit.device = entry.path;
        audit.serial = entry.serial;
        // By path: serial numbers need not be unique.
        if (!usb.selectReader(entry.path)) {
            audit.failure = LinkFailure::NoReader;
            audit.problem = QStringLiteral("the reader is no longer attached");
        } else {
            readOne(link, wanted, audit);
        }
        out.readers << audit;
    }
    usb.selectReader(before);
    return out;
}

} // namespace rfid
