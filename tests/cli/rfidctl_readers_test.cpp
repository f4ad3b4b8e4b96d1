// rfidctl with several simulated readers: list, --device, plugging in and out
// (readers that start unplugged or without access), and the connection check.
#include "rfidctl_harness.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using Result = RfidctlRun;

class RfidctlReaders : public RfidctlHarness {
protected:
    RfidctlReaders() { env.insert("RFIDSIM_READERS", "3"); }
};

} // namespace

TEST_F(RfidctlReaders, ListsReadersAsTextAndJson) {
    Result r = run({"--sim", "list"}, {"RFIDSIM_NO_ACCESS=2"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(
        r.out,
        "sim:0  04d8:003f  interface 1  serial SIM-0000  access ok  Simulation Simulated RFID reader\n"
        "sim:1  04d8:003f  interface 1  serial SIM-0001  access ok  Simulation Simulated RFID reader\n"
        "sim:2  04d8:003f  interface 1  serial SIM-0002  access denied  Simulation Simulated RFID reader\n");

    r = run({"list", "--json", "--sim"}, {"RFIDSIM_UNPLUGGED=0,1"});
    EXPECT_EQ(r.code, 0);
    const QJsonArray list = QJsonDocument::fromJson(r.out.toUtf8()).array();
    ASSERT_EQ(list.size(), 1) << r.out.toStdString();
    const QJsonObject one = list[0].toObject();
    EXPECT_EQ(one["path"].toString(), "sim:2");
    EXPECT_EQ(one["serial"].toString(), "SIM-0002");
    EXPECT_EQ(one["vendor"].toString(), "04d8");
    EXPECT_EQ(one["interface"].toInt(), 1);
    EXPECT_EQ(one["access"].toString(), "ok");

    r = run({"--sim", "list"}, {"RFIDSIM_UNPLUGGED=0,1,2"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "No reader attached.\n");
    EXPECT_EQ(run({"--sim", "list", "extra"}).code, 2);
}

TEST_F(RfidctlReaders, DeviceChoosesTheReaderForEveryCommand) {
    // Reader 1 gets German; the others keep their language.
    Result r = run({"--sim", "--device", "SIM-0001", "set", "language=German"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = run({"--sim", "--device=sim:1", "read"});
    EXPECT_TRUE(r.out.contains("language: German")) << r.out.toStdString();
    r = run({"--sim", "read"});
    EXPECT_FALSE(r.out.contains("language: German")) << r.out.toStdString();

    // An unknown reader: nothing is sent, and the message says where to look.
    r = run({"--sim", "--device", "SIM-0009", "version"});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(
        r.err,
        "rfidctl: no reader with the path or serial number \"SIM-0009\" is attached (see rfidctl list)\n");
    EXPECT_EQ(run({"--sim", "version", "--device"}).code, 2);

    // Unplugged: "no reader", named as such; plugged back in, it answers again.
    r = run({"--sim", "--device", "SIM-0001", "version"}, {"RFIDSIM_UNPLUGGED=1"});
    EXPECT_EQ(r.code, 3);
    r = run({"--sim", "version"}, {"RFIDSIM_UNPLUGGED=0,1,2"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains("no reader is attached")) << r.err.toStdString();
    r = run({"--sim", "--device", "SIM-0001", "version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("V1.0")) << r.out.toStdString();

    // No access.
    r = run({"--sim", "version"}, {"RFIDSIM_NO_ACCESS=0"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains("this user may not open the reader")) << r.err.toStdString();
}

TEST_F(RfidctlReaders, DoctorExitsZeroOnlyWhenTheReaderAnswers) {
    Result r = run({"--sim", "doctor", "--device", "SIM-0002"});
    EXPECT_EQ(r.code, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("OK: The reader answers: Simulated RFID reader (SIM-0002), version \"V1.0\"."))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.startsWith("USB library: ")) << r.out.toStdString();

    r = run({"--sim", "doctor"}, {"RFIDSIM_UNPLUGGED=0,1,2"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.out.contains("PROBLEM: No reader with a known id is attached.")) << r.out.toStdString();
    // How a variable is set for one run, in the system's own shell.
#ifdef _WIN32
    const char* const otherId = "set RFIDUSB_DEVICE=vvvv:pppp, then run rfidctl doctor";
#else
    const char* const otherId = "RFIDUSB_DEVICE=vvvv:pppp rfidctl doctor";
#endif
    EXPECT_TRUE(r.out.contains(otherId)) << r.out.toStdString();

    r = run({"--sim", "doctor"}, {"RFIDSIM_NO_ACCESS=0"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.out.contains("PROBLEM: A reader is attached, but this user may not open it."))
        << r.out.toStdString();

    r = run({"--sim", "doctor", "--device", "nothing"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.out.contains("No reader with the path or serial number \"nothing\" is attached."))
        << r.out.toStdString();
}
