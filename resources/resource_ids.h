#pragma once
// Identifiers of the settings page's dialog template and its controls. The
// template itself (quarix.rc) spells the same numbers as raw data.

constexpr int kPageDialogId = 101;      // DIALOG resource, language 1041
constexpr int kVolumeSliderId = 1001;   // trackbar, -40 to +20
constexpr int kVolumeReadoutId = 1002;  // static text showing the slider position
constexpr int kEnableBoxId = 1015;      // auto check box
