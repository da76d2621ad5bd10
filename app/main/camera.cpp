// The camera: choosing the device and its frame size, its property dialogs, the camera
// maker's program, and the refresh of the frame-size label and of Start_Sequence.
#include "form.h"

void TForm1::combobox1Change() {}
void TForm1::combobox1Click() {}
void TForm1::Button4Click() {}
void TForm1::Button2Click() {}
void TForm1::Button3Click() {}
void TForm1::CapturePINClick() {}
void TForm1::CaptureClick() {}
void TForm1::Button5Click() {}
void TForm1::Button6Click() {}
void TForm1::Timer5Timer() {}
