// Parameters of a Content-Type or Content-Disposition line, extended and continued ones included.
#pragma once

#include <map>
#include <string>
#include <string_view>

// Parameters of a header line after its first ";": lower-cased names, values
// with quotes and backslash escapes removed. Later duplicates are ignored.
std::map<std::string, std::string> HeaderParameters(std::string_view line);

// The value of an extended parameter ("name*=charset'lang'text" or the continued
// "name*0*=", "name*1*=", "name*2=", ...) as UTF-8, percent escapes resolved and
// converted from its charset; empty when the line has none.
std::string ExtendedParameter(std::string_view line, const std::string& name);
