#pragma once

// A MainView that remembers the last state of every component and logs
// every call in order, so tests can check both what the window shows and
// what was drawn by one step.

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mainwindow/main_view.h"
#include "support/component_print.h"

namespace velmora::test {

class RecordingView final : public MainView {
public:
    struct Picture {
        PictureList list;
        int index;
    };

    void setPicture(ComponentId component, PictureList list, int index) override {
        pictures[component] = {list, index};
        log.push_back("picture " + nameOf(component));
    }
    void setComponentVisible(ComponentId component, bool visible) override {
        visibleComponents[component] = visible;
        log.push_back(std::string(visible ? "show " : "hide ") + nameOf(component));
    }
    void setLabelText(ComponentId label, std::string_view text) override {
        labelTexts[label] = std::string(text);
        log.push_back("text " + nameOf(label));
    }
    void setLabelBackground(ComponentId label, std::uint32_t rgb) override { labelBackgrounds[label] = rgb; }
    void setLabelVisible(ComponentId label, bool visible) override { labelVisible[label] = visible; }
    void setAccessibleName(ComponentId component, std::string_view name) override {
        accessible[component] = std::string(name);
    }
    void setPortButtonOn(ComponentId button, bool on) override { buttonOn[button] = on; }
    void setWindowHeight(int pixels) override { height = pixels; }
    void setWindowTop(int pixels) override { top = pixels; }
    void setScrollBarPosition(int position) override {
        scrollPosition = position;
        log.push_back("scroll position " + std::to_string(position));
    }
    void setScrollBarMaximum(int maximum) override { scrollMaximum = maximum; }
    void setScrollBarVisible(bool visible) override { scrollVisible = visible; }
    void appendVersionItem(std::string_view caption, int tag) override {
        versionItems.emplace_back(std::string(caption), tag);
        log.push_back("append item " + std::string(caption));
    }
    void removeLastVersionItem() override {
        if (versionItems.empty()) {
            log.push_back("remove item from empty menu");
            return;
        }
        log.push_back("remove item " + versionItems.back().first);
        versionItems.pop_back();
    }
    void appendTimerTab(std::string_view caption) override {
        tabs.emplace_back(caption);
        log.push_back("append tab " + std::string(caption));
    }
    void deleteTimerTab(int index) override {
        if (index < 0 || static_cast<std::size_t>(index) >= tabs.size()) {
            log.push_back("delete missing tab " + std::to_string(index));
            return;
        }
        log.push_back("delete tab " + tabs[static_cast<std::size_t>(index)]);
        tabs.erase(tabs.begin() + index);
    }
    void selectFirstTimerTab() override { ++firstTabSelections; }
    bool timerDialogVisible() const override { return dialogVisible; }
    int timerDialogBank() const override { return dialogBank; }
    int timerDialogTab() const override { return dialogTab; }
    void cancelTimerDialog() override {
        dialogVisible = false;
        ++dialogCancels;
    }
    void refreshTimerDialog() override { ++dialogRefreshes; }

    // Picture of a component; {portButtonPictures, -1} when never set.
    Picture picture(ComponentId name) const {
        auto it = pictures.find(name);
        return it == pictures.end() ? Picture{PictureList::portButton, -1} : it->second;
    }
    int pictureIndex(ComponentId name) const { return picture(name).index; }
    bool shown(ComponentId name) const {
        auto it = visibleComponents.find(name);
        return it != visibleComponents.end() && it->second;
    }
    std::string text(ComponentId label) const {
        auto it = labelTexts.find(label);
        return it == labelTexts.end() ? std::string("<unset>") : it->second;
    }
    // A label counts as visible until it is hidden.
    bool labelShown(ComponentId label) const {
        auto it = labelVisible.find(label);
        return it == labelVisible.end() || it->second;
    }
    std::string spoken(ComponentId component) const {
        auto it = accessible.find(component);
        return it == accessible.end() ? std::string("<unset>") : it->second;
    }
    // Log entries starting with `prefix`, in order.
    std::vector<std::string> logged(std::string_view prefix) const {
        std::vector<std::string> out;
        for (const auto& e : log)
            if (std::string_view(e).substr(0, prefix.size()) == prefix) out.push_back(e);
        return out;
    }
    std::vector<std::string> tabCaptions() const { return tabs; }

    // The object name of a component, as the log shows it.
    static std::string nameOf(ComponentId c) { return std::string(componentName(c).view()); }

    std::map<ComponentId, Picture> pictures;
    std::map<ComponentId, bool> visibleComponents;
    std::map<ComponentId, std::string> labelTexts;
    std::map<ComponentId, std::uint32_t> labelBackgrounds;
    std::map<ComponentId, bool> labelVisible;
    std::map<ComponentId, std::string> accessible;
    std::map<ComponentId, bool> buttonOn;  // port button -> its port is on
    std::vector<std::string> log;
    int height = 0;
    int top = 0;
    int scrollPosition = 0;
    int scrollMaximum = 0;
    bool scrollVisible = false;
    std::vector<std::pair<std::string, int>> versionItems;
    std::vector<std::string> tabs;
    int firstTabSelections = 0;
    bool dialogVisible = false;
    int dialogBank = 0;
    int dialogTab = 0;  // the selected bank tab
    int dialogCancels = 0;
    int dialogRefreshes = 0;
};

}  // namespace velmora::test
