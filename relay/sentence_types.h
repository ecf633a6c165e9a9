// The seven sentence types the user chooses from, written down once: the tag a sentence of the
// type begins with, its flag in SentenceSelection (whose default is whether the type is sent at
// start), and its check box (id and label). The filter, the dialog's check boxes, the benchmark's
// --deselect and the tests read this table; no other place lists the seven types.
//
// It lives in relay/ because its lowest user, the filter, lives here: the dialog (ui/), its
// template (res/) and bench/ reach down to it, and relay/ needs nothing from above. So the
// check boxes' ids are defined here with their rows, and res/resource_ids.h takes them from here.
#pragma once

#include <string_view>

// Which sentence types are sent on: 1 sends, 0 drops. Each default is the type's initial value
// (MSS alone starts deselected), so {.gsv = 0} is the initial selection without GSV.
struct SentenceSelection {
    int gga = 1;
    int vtg = 1;
    int rmc = 1;
    int gll = 1;
    int gsa = 1;
    int gsv = 1;
    int mss = 0;

    friend bool operator==(const SentenceSelection&, const SentenceSelection&) = default;
};

inline constexpr int IDC_SEND_GGA = 1008;
inline constexpr int IDC_SEND_VTG = 1009;
inline constexpr int IDC_SEND_GLL = 1010;
inline constexpr int IDC_SEND_GSA = 1011;
inline constexpr int IDC_SEND_GSV = 1012;
inline constexpr int IDC_SEND_RMC = 1013;
inline constexpr int IDC_SEND_MSS = 1014;

struct SentenceType {
    std::string_view tag;  // a sentence of this type begins with it
    int SentenceSelection::*flag;
    int checkBoxId;
    const char* label;  // the check box's text; also the name --deselect takes
};

// In the order the filter tests them, which is also the order the dialog reads its check boxes.
inline constexpr SentenceType kSentenceTypes[] = {
    {"$GPGGA", &SentenceSelection::gga, IDC_SEND_GGA, "GGA"},
    {"$GPVTG", &SentenceSelection::vtg, IDC_SEND_VTG, "VTG"},
    {"$GPRMC", &SentenceSelection::rmc, IDC_SEND_RMC, "RMC"},
    {"$GPGLL", &SentenceSelection::gll, IDC_SEND_GLL, "GLL"},
    {"$GPGSA", &SentenceSelection::gsa, IDC_SEND_GSA, "GSA"},
    {"$GPGSV", &SentenceSelection::gsv, IDC_SEND_GSV, "GSV"},
    {"$GPMSS", &SentenceSelection::mss, IDC_SEND_MSS, "MSS"},
};

// The label of the check box `checkBoxId`, for the dialog's template; nullptr for another id.
constexpr const char* SentenceTypeLabel(int checkBoxId)
{
    for (const SentenceType& type : kSentenceTypes)
        if (type.checkBoxId == checkBoxId) return type.label;
    return nullptr;
}
