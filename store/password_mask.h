// Passwords out of whatever the program shows: a database URL, and any text libpq or the server
// sent back about it, which may quote the URL, or a piece of it, whole. No libpq here: the
// caller adds the password libpq itself read from the URL, if it could read one.
#pragma once

#include <string>
#include <vector>

namespace pxr7 {

// text with every password replaced by "***": the ones text spells out itself (a URI's
// user:password@, and the value of a password keyword in a URI query or a key=value string,
// however the keyword is percent-escaped), and wherever they appear in text, as written or
// decoded, each password url spells out and each of known, and each piece of one that libpq may
// quote alone (split at the characters that end a URI's components). Inside double quotes (libpq
// quotes what it was given) they are masked whatever their length, elsewhere from four
// characters on, so that a one-letter password does not blank out every word with its letter.
std::string withoutPasswords(const std::string& text, const std::string& url,
                             const std::vector<std::string>& known = {});

} // namespace pxr7
