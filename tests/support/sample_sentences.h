// Sentences the tests send and expect, written out by hand rather than taken from the program,
// so that the program's bytes are always compared with a copy of their own.
#pragma once

#include <string>

// A position fix with its checksum and line end, as a receiver sends it.
inline const std::string kGga =
    "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
// The recommended minimum sentence of the same fix.
inline const std::string kRmc =
    "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
// Both, with the '$' that completes the second: the relay passes on exactly kGga + kRmc.
inline const std::string kTwoSentences = kGga + kRmc + "$";
// What the relay writes in place of a VTG sentence with an empty course field: zero speed, empty
// course fields, checksum and line end.
inline const std::string kFixedVtg = "$GPVTG,,T,,M,0.00,N,0.0,K*7E\r\n";
