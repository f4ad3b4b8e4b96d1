// The connection check (the window's "Connection check…", rfidctl doctor) run on its
// own inside the test VM: loads the USB library by file name, prints the report
// and exits 0 when the reader answered, 3 otherwise.
//   rfid_vm_check LIBRARY [DEVICE]
#include "doctorlibrary.h"
#include "readerdoctor.h"
#include "usblink.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: rfid_vm_check LIBRARY [DEVICE]\n");
        return 2;
    }
    rfid::UsbLibrary library(QString::fromLocal8Bit(argv[1]));
    const rfid::doctor::Report report =
        rfid::runConnectionCheck(library, argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());
    std::fputs(rfid::doctor::formatReport(report).c_str(), stdout);
    return report.answered() ? 0 : 3;
}
