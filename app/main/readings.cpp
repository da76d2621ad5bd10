// Readings over a dragged rectangle of the result images, the objectives and their
// image scales.
#include "form.h"
#include "numbers.h"

void TForm1::Image1MouseDown(const ui::MouseEvent&) {}
void TForm1::Image1MouseMove(const ui::MouseEvent&) {}
void TForm1::Image1MouseUp(const ui::MouseEvent&) {}
void TForm1::Image1DblClick() {}
void TForm1::Image2MouseDown(const ui::MouseEvent&) {}
void TForm1::Image2MouseMove(const ui::MouseEvent&) {}
void TForm1::Image2MouseUp(const ui::MouseEvent&) {}
void TForm1::Image2DblClick() {}
void TForm1::Image3MouseDown(const ui::MouseEvent&) {}
void TForm1::Image3MouseMove(const ui::MouseEvent&) {}
void TForm1::Image3MouseUp(const ui::MouseEvent&) {}
void TForm1::Image3DblClick() {}

void TForm1::Timer7Timer() { Timer7->setEnabled(false); }
void TForm1::Timer8Timer() { Timer8->setEnabled(false); }
void TForm1::Timer9Timer() { Timer9->setEnabled(false); }
void TForm1::Timer10Timer() { Timer10->setEnabled(false); }

void TForm1::ob04Click() { Legend(); }
void TForm1::Ob10Click() { Legend(); }
void TForm1::Ob20Click() { Legend(); }
void TForm1::Ob40Click() { Legend(); }

void TForm1::Edit2Change() { image_scale_changed(0, Edit2); }
void TForm1::Edit3Change() { image_scale_changed(1, Edit3); }
void TForm1::Edit4Change() { image_scale_changed(2, Edit4); }
void TForm1::Edit5Change() { image_scale_changed(3, Edit5); }

// A valid number becomes the objective's image scale; anything else (an empty field
// while the operator types) leaves the scale as it was.
void TForm1::image_scale_changed(int objective, const QLineEdit* edit) {
    if (const auto scale = numbers::parse_decimal(edit->text())) readings.image_scale[objective] = *scale;
}
