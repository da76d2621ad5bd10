// The measurement sequence: the polarizer to 0, 45, 90, 135 degrees and back, an
// integration at each angle, the angle images, the engine run; background collection.
#include "form.h"

void TForm1::Start_SequenceClick() {}
void TForm1::CollectbackgroundimagesClick() {}
void TForm1::executethisTimer() { executethis->setEnabled(false); }
