// gpsd reads the GPS service channel only once it has connected to the channel's source, which
// can take seconds after the run's start, and a measured stream must start when gpsd reads it.
// A measured run into gpsd therefore begins with a primer: a sentence of its own, written into
// the relay's input until gpsd reports it; only then does the stream follow. The primer is no
// type the relay filters, and the generated stream never holds it, so the tap that reads gpsd's
// reports sets it aside.
#pragma once

#include <string_view>

class GpsdNmeaTap;

inline constexpr std::string_view kPrimerSentence = "$PQNXP,primer*7A\r\n";

inline bool IsPrimer(std::string_view line)
{
    return line == kPrimerSentence;
}

// Writes primers into the relay's input until `tap` has seen gpsd report one. False when gpsd
// has reported none after about ten seconds.
bool PrimeGateChannel(int inputMaster, const GpsdNmeaTap& tap);
