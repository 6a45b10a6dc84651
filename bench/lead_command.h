// Commands the program suggests to the person, for a lead: quoted so a shell takes each word
// as it stands, and naming the lead the way the command will accept it.
#pragma once

#include "bridge_identity.h"

#include <string>

namespace pxr7 {

// text as one shell word: left bare when it holds only letters, digits and ._-+:@%/=, else in
// single quotes (a quote inside as '\''). Empty text is ''.
std::string shellWord(const std::string& text);

// The options that choose lead: --serial SERIAL where the serial number names it alone and
// `upgrade` or `setup` would take it (not empty, not shared, printable ASCII), else --index N.
std::string leadSelector(const BridgeIdentity& lead);

// "pxr7 <command> <leadSelector(lead)>".
std::string commandForLead(const char* command, const BridgeIdentity& lead);

} // namespace pxr7
