#include "relay/relay_state.h"

RelayState relayState;
