// Frame integration: the frame callback with the live previews, and the integration of a
// number of frames into one image.
#include "form.h"

void TForm1::VLGenericFilter1ProcessData(const QImage&) {}

void TForm1::Timer6Timer() { Timer6->setEnabled(false); }

void TForm1::IntegrationsChange() { integration.count = Integrations->value(); }
