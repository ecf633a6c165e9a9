// Gives a replayed NMEA sentence the time and date of now, so that a capture made years ago
// shows today's date in gpsd and its clients (gpsd takes an old date for a GPS week rollover
// and moves it 1024 weeks on, into the 2030s).
//
// The UTC time fields (hhmmss, the fraction as captured) of RMC, GGA, GLL, GNS, GBS, GST and ZDA
// and the date fields of RMC (ddmmyy) and ZDA (dd, mm, yyyy) are rewritten, whatever the
// talker; an empty field stays empty, so a receiver without a fix still says so. The checksum is
// computed anew. Other sentences, proprietary ones, and sentences whose checksum is missing or
// wrong in the capture come back as they were: a corrupt sentence stays corrupt.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

// `sentence` without its line end, restamped with `utc` (a broken-down UTC time).
std::string RestampSentence(std::string_view sentence, const std::tm& utc);

// The sentence's captured UTC time field (hhmmss...), or "" when it has none. Sentences of one
// epoch share it, so a change of it marks the next epoch.
std::string_view CapturedTime(std::string_view sentence);
