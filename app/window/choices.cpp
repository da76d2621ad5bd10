// The Measure page's choices and result views, each a table in the order of the logic's
// own (colour_channels.h, objectives.h, result_kinds.h).
#include "form.h"

namespace {

template <size_t n> std::optional<size_t> checked_of(const std::array<QRadioButton*, n>& buttons) {
    for (size_t i = 0; i < n; ++i)
        if (buttons[i]->isChecked()) return i;
    return std::nullopt;
}

} // namespace

std::optional<size_t> TForm1::checked_channel() const {
    return checked_of(channel_buttons());
}

std::optional<size_t> TForm1::checked_objective() const {
    std::array<QRadioButton*, 4> buttons{};
    for (size_t i = 0; i < buttons.size(); ++i) buttons[i] = objective_controls()[i].button;
    return checked_of(buttons);
}

TForm1::ResultView TForm1::result_view(result_kinds::Kind kind) const {
    switch (kind) {
    case result_kinds::transmission:
        return {Image1, legend3, RadioButton5, Label36, Timer8};
    case result_kinds::retardation:
        return {Image2, legend1, RadioButton3, Label34, Timer9};
    case result_kinds::angle:
        break;
    }
    return {Image3, legend2, RadioButton4, Label35, Timer7};
}
