// How one exchange with the reader ended, and which failure that is: the one
// rule every face (the reader link, the connection check) reads a failed
// exchange by. Plain C++, for callers outside Qt too.
#pragma once

#include <optional>

namespace rfid {

// Why the last exchange failed, as the USB library's hidLastError says.
enum class LinkError { None = 0, NoReader = 1, Permission = 2, Busy = 3, Io = 4, Timeout = 5 };

// The library's number for the kind; numbers it does not define count as an I/O failure.
inline LinkError linkErrorOf(int kind) {
    return kind >= 0 && kind <= 5 ? LinkError(kind) : LinkError::Io;
}

// How the exchange ended.
enum class ExchangeOutcome {
    NotWritten, // the library did not take the frame (or is missing)
    NoAnswer,   // the frame went out, nothing came back
    Answered,   // something came back (whether it makes sense is the answer's business)
};

// What went wrong with an exchange.
enum class ExchangeFailure { None, NoReader, NoAccess, Busy, Io, NoAnswer };

// The failure of an exchange that ended with `outcome`, when the library gives
// `kind` (nullopt when it cannot say): its kind wins where it names a cause;
// otherwise a frame not taken means no reader, and a frame taken means no answer.
inline ExchangeFailure exchangeFailure(ExchangeOutcome outcome, std::optional<LinkError> kind) {
    if (outcome == ExchangeOutcome::Answered)
        return ExchangeFailure::None;
    switch (kind.value_or(LinkError::None)) {
    case LinkError::NoReader:
        return ExchangeFailure::NoReader;
    case LinkError::Permission:
        return ExchangeFailure::NoAccess;
    case LinkError::Busy:
        return ExchangeFailure::Busy;
    case LinkError::Io:
        return ExchangeFailure::Io;
    case LinkError::Timeout:
    case LinkError::None:
        break;
    }
    return outcome == ExchangeOutcome::NotWritten ? ExchangeFailure::NoReader : ExchangeFailure::NoAnswer;
}

} // namespace rfid
