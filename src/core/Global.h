// Program folder and small shared functions: Split, StripHTML, SortIntegers.
#pragma once

#include <string>
#include <vector>

using TSplitArray = std::vector<std::string>;

// Folder of the running program, without a trailing separator. Set once at
// start-up by InitAppPath; tests may assign it to point at a temporary folder.
extern std::string AppPath;

// The folder part of an executable's full path: everything up to and including
// the last "/", "\" or ":", less one trailing "/" or "\".
std::string AppPathFromExe(const std::string& exePath);

// Sets AppPath from /proc/self/exe.
void InitAppPath();

// Splits at every exact occurrence of separator. A trailing separator gives no
// empty last element; an empty text gives an empty array.
TSplitArray Split(const std::string& text, const std::string& separator);

// Removes script and style blocks, then every tag. Character references stay.
std::string StripHTML(const std::string& text);

// Sorts values[0..high] ascending in place.
void SortIntegers(std::vector<int>& values, int high);

// Removes leading and trailing characters with a code of 32 or less.
std::string TrimControl(const std::string& text);

// Case-insensitive ASCII comparison, as the settings and lists need it.
bool SameText(const std::string& a, const std::string& b);
