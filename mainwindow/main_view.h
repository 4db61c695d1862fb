#pragma once

// What the main window's logic asks of the window. The Qt window implements
// it as a thin shell (find the component by its id, draw); tests use a
// recording fake. Every call happens on the UI thread.
//
// Components are addressed by ComponentId (drawing_rules.h): the panels,
// the separators, and per slot and port key the port buttons, LEDs, time
// labels, current and bank-number digits and the menu buttons.
//
// The logic may repeat a call with the value already shown (redraws are
// unconditional, twice a second for the flash tick); an implementation
// should make that cheap. The string views are valid only during the call.
//
// The logic keeps its own record of which panels are shown and where the
// scroll bar stands, so the view is never asked for them: a window hidden
// in the notification area still counts its panels as shown.

#include <cstdint>
#include <string_view>

#include "mainwindow/drawing_rules.h"

namespace velmora {

inline constexpr std::uint32_t kBlackBackground = 0x000000;  // 0xRRGGBB

class MainView {
public:
    virtual ~MainView() = default;

    // ---- Components ----
    // Copies picture `index` of `list` into the image component.
    virtual void setPicture(ComponentId component, PictureList list, int index) = 0;
    // Shows or hides a panel or separator.
    virtual void setComponentVisible(ComponentId component, bool visible) = 0;
    // Time labels.
    virtual void setLabelText(ComponentId label, std::string_view text) = 0;
    virtual void setLabelBackground(ComponentId label, std::uint32_t rgb) = 0;
    virtual void setLabelVisible(ComponentId label, bool visible) = 0;
    // Name a screen reader speaks for the component.
    virtual void setAccessibleName(ComponentId component, std::string_view name) = 0;
    // Tells a screen reader whether the port of a port button is on; drawn
    // with every LED of the port.
    virtual void setPortButtonOn(ComponentId button, bool on) = 0;
    // The user's name for the outlet of port key `key` ("" for none), shown
    // beneath its button; views without room for it ignore it.
    virtual void setOutletName(int key, std::string_view name) {
        (void)key;
        (void)name;
    }

    // ---- The window ----
    virtual void setWindowHeight(int pixels) = 0;  // client height
    virtual void setWindowTop(int pixels) = 0;     // top edge on the screen

    // ---- ScrollBar1 (minimum 1) ----
    // Mirrors of the logic's scroll bar. Setting them must not call back
    // into the logic with a different position; a callback with the same
    // position (a Qt valueChanged) is harmless.
    virtual void setScrollBarPosition(int position) = 0;
    virtual void setScrollBarMaximum(int maximum) = 0;
    virtual void setScrollBarVisible(bool visible) = 0;

    // ---- Check Version sub-menu (CheckVersion1) ----
    // Appends an item whose click shows the version of bank `tag`.
    virtual void appendVersionItem(std::string_view caption, int tag) = 0;
    // Removes and destroys the last item; nothing when there is none.
    virtual void removeLastVersionItem() = 0;

    // ---- Set Timer dialog (SetTimerDialog); may do nothing before it exists ----
    virtual void appendTimerTab(std::string_view caption) = 0;  // tabBar
    virtual void deleteTimerTab(int index) = 0;                 // 0-based
    virtual void selectFirstTimerTab() = 0;
    virtual bool timerDialogVisible() const = 0;  // false before it exists
    virtual int timerDialogBank() const = 0;      // DialogBank, 0-based; any value while hidden
    virtual int timerDialogTab() const = 0;       // selected bank tab, 0-based; -1 for none
    virtual void cancelTimerDialog() = 0;         // end it with the modal result Cancel
    virtual void refreshTimerDialog() = 0;        // run its aboutToShow again (rows from the tables)
};

}  // namespace velmora
