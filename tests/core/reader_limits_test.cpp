// The limits in readerlimits.h against the simulated reader's firmware: what
// the check lets through, the reader takes, and one byte more it refuses.
#include "readerlimits.h"
#include "readerlink.h"
#include "readersettings.h"
#include "rfidsim.h"

#include <gtest/gtest.h>

TEST(ReaderLimits, TheSimulatedReaderTakesTheLongestNameTheCheckAllows) {
    rfidsim_reset();
    rfid::UsbLibrary usb; // the simulated reader, found by its file name
    rfid::ReaderLink link{usb};
    const QString longest(rfid::kMaxBluetoothNameBytes, QLatin1Char('N'));
    ASSERT_EQ(rfid::bluetoothNameProblem(longest), "");
    const rfid::LinkReply taken = link.send(rfid::bluetoothNameCommand(longest));
    EXPECT_TRUE(taken.ok()) << taken.problem.toStdString();

    const QString longer = longest + QLatin1Char('N');
    EXPECT_NE(rfid::bluetoothNameProblem(longer), "");
    const rfid::LinkReply refused = link.send(rfid::bluetoothNameCommand(longer));
    EXPECT_EQ(refused.failure, rfid::LinkFailure::Refused);
}
