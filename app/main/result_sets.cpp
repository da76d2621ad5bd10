// Saving the three result images as a result set, and opening a saved set.
#include "form.h"

void TForm1::Save_all_imagesClick() {}
void TForm1::OpenimagesClick() {}
