// Text of an HTML body: its <meta> charset, its tags stripped, its character entities resolved.
#pragma once

#include <string>
#include <string_view>

// The charset named by a <meta charset> or http-equiv Content-Type in the first
// bytes of an HTML text; empty when there is none.
std::string HtmlMetaCharset(std::string_view html);

// Named entities of HTML 4 and numeric ones (decimal and hex) replaced by the
// characters they stand for; unknown ones stay as written.
std::string ResolveEntities(std::string_view text);

// HTML bytes as the text a person reads, in UTF-8: converted from charset (when
// empty, from the <meta> charset), tags stripped, entities resolved.
std::string HtmlText(std::string_view data, const std::string& charset);
