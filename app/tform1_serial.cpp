// The serial link and the manual send panel of the main window.
#include "tform1.h"

void TForm1::setupSerial() {}

void TForm1::closeSerialPort() {}

void TForm1::Button1Click() {}
void TForm1::Button2Click() {}
void TForm1::ComboBox1Change() {}
void TForm1::ComboBox2Change() {}
void TForm1::Comm1ReceiveData(const unsigned char*, int) {}
void TForm1::checkcard() {}
