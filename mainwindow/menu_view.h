#pragma once

#include <string_view>

namespace velmora {

// What the menu logic asks of the window's menus. Unknown names are
// ignored by the implementation. The string views are valid only during
// the call.
class MenuView {
public:
    virtual ~MenuView() = default;
    // Enables or disables a menu item, or a whole menu ("mlTools1",
    // "mlSetRTC") together with everything in it.
    virtual void setItemEnabled(std::string_view name, bool enabled) = 0;
    virtual void setItemVisible(std::string_view name, bool visible) = 0;
    virtual void setItemCaption(std::string_view name, std::string_view caption) = 0;
};

}  // namespace velmora
