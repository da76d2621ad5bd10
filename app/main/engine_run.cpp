// The engine run: the option string from the window's settings, the deferred run after
// a change, and the call of the engine library.
#include "form.h"

void TForm1::sindthreshhold1Change() {}
void TForm1::Timer4Timer() { Timer4->setEnabled(false); }
void TForm1::redClick() {}
void TForm1::nmChange() {}
