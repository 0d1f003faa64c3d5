// Lays out a strip of buttons: the visible buttons keep their left-to-right
// order, stand 5 pixels apart and are centred in the panel, at their average
// top and height.
#pragma once

class QWidget;

namespace drs {

constexpr int kButtonGap = 5;

// Does nothing when the panel has no visible button.
void CenterButtons(QWidget* panel);

}  // namespace drs
