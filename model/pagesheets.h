#pragma once
// The property sheets of networks, devices, groups and equipment, without the widgets:
// their captions, their pages in order, when the inactive check box is enabled, and the
// choices of a device's network drop-down.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class cvBob;
class cvFileMgr;
class cvRec;

// The object's DESCRIPTION; for an object never saved "New Paging Network", "New Paging
// Device", "New Paging Group" or "New Monitored Equipment". Empty for other objects.
std::string SheetCaption(cvBob& object);

// The page titles in order: a network "General", "Comm Port", "Access Codes"; a group
// "Group", "Members"; a device "General", and "Groups" with Alarm Watch on; equipment
// "General". None for other objects.
std::vector<std::string_view> SheetPages(cvBob& object, bool alarm_watch);

// The inactive check box is disabled while the object has never been saved.
bool InactiveCheckBoxEnabled(const cvRec& record);

struct tvNetworkChoice {
    std::string description;
    int32_t number = 0;
    bool operator==(const tvNetworkChoice&) const = default;
};
// The networks a device may be put on: those whose QINACTIVE is not "Y", in
// DESCRIPTION order. A device whose stored network is inactive shows no selection.
std::vector<tvNetworkChoice> ActiveNetworkChoices(cvFileMgr& manager);
