// The serial link and the manual send panel of the main window.
#include "tform1.h"

void TForm1::setupSerial() {}

void TForm1::closeSerialPort() {}
