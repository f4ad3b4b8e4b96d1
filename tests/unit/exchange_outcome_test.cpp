// The one rule that names the failure of an exchange from how it ended and the
// USB library's error kind.
#include "exchangeoutcome.h"

#include <gtest/gtest.h>

using namespace rfid;

TEST(ExchangeFailures, LibraryKindWinsWhereItNamesACause) {
    using O = ExchangeOutcome;
    using F = ExchangeFailure;
    const std::optional<LinkError> cannotSay;
    struct Case {
        O outcome;
        std::optional<LinkError> kind;
        F failure;
    };
    const Case cases[] = {
        {O::Answered, LinkError::NoReader, F::None},
        {O::NotWritten, cannotSay, F::NoReader},
        {O::NoAnswer, cannotSay, F::NoAnswer},
        {O::NotWritten, LinkError::None, F::NoReader},
        {O::NoAnswer, LinkError::Timeout, F::NoAnswer},
        {O::NotWritten, LinkError::Timeout, F::NoReader},
        {O::NoAnswer, LinkError::NoReader, F::NoReader},
        {O::NotWritten, LinkError::Permission, F::NoAccess},
        {O::NotWritten, LinkError::Busy, F::Busy},
        {O::NoAnswer, LinkError::Io, F::Io},
        {O::NoAnswer, linkErrorOf(9), F::Io}, // a kind the library does not define
    };
    for (const Case& c : cases)
        EXPECT_EQ(exchangeFailure(c.outcome, c.kind), c.failure)
            << int(c.outcome) << " " << (c.kind ? int(*c.kind) : -1);
}
