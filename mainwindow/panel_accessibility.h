#pragma once

// How the bank panels appear on the accessibility bus: a picture is a
// graphic or a button (with its port's on/off state and a press action), a
// digit display one static text, a panel a group named for its bank.

namespace velmora {

// Installs the panels' accessibility factory once per process.
void installPanelAccessibility();

}  // namespace velmora
