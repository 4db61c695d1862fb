#pragma once

// The program's icon as a Windows icon file (.ico), for the resource that
// Explorer, the taskbar and the Start menu show before Qt runs.

#include <QByteArray>
#include <QImage>
#include <vector>

namespace velmora {

// An .ico file holding each image as a PNG entry (what Windows reads since
// Vista), in the order given. Images must be square, 1 to 256 pixels a
// side; empty result when one is not, or when there is none.
QByteArray windowsIconFile(const std::vector<QImage>& images);

// The sizes the Windows icon carries: the shell's small, list, large and
// jumbo views at 100 % to 200 % scale.
inline constexpr int kWindowsIconSizes[] = {16, 20, 24, 32, 40, 48, 64, 256};

}  // namespace velmora
