// The result display: the three result images and the four legends.
#include "form.h"

void TForm1::reloadimages() {}
void TForm1::Legend() {}
