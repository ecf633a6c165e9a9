#include "relay/relay_state.h"

#include <cstring>

#include "relay/forward_sentence.h"

RelayState::RelayState() : fixedVtgLength(std::strlen(kFixedVtgSentence)) {}

// stopRequested starts set: no relay runs until a start clears it.
RelayState relayState;
