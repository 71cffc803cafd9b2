// Checks and cuts of the texts a user types into an account's fields.
#pragma once

#include "core/Options.h"

#include <string>

// text cut to at most max bytes, never inside a UTF-8 sequence.
std::string CutField(const std::string& text, size_t max = MaxFieldLength);

// Why name cannot key an account's settings section, or "" when it can. taken: the
// names of the other accounts, compared without regard to case.
std::string AccountNameProblem(const std::string& name, const TStringList& taken);
