// Profile (INI) file access: case-insensitive sections and keys, write-through, atomic replace.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Every operation opens the file by name; a missing or unreadable file reads as
// empty. Writes replace the whole file atomically (temporary file, flush, rename).
class TIniFile {
public:
    explicit TIniFile(std::string path);

    const std::string& FileName() const { return FPath; }

    // At most 2047 characters of the value; def when the key is missing.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    // Decimal, or hexadecimal after "0x"/"0X"/"$"; def when missing or not a number.
    int ReadInteger(const std::string& section, const std::string& key, int def) const;
    // True when the integer value is not 0; def when missing or not a number.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;

    // Section names in file order, every one of them.
    std::vector<std::string> ReadSections() const;
    // Key names of one section in file order (keys with an empty value included).
    std::vector<std::string> ReadSection(const std::string& section) const;
    // key=value pairs of one section in file order.
    std::vector<std::pair<std::string, std::string>> ReadSectionValues(
        const std::string& section) const;

    // Each returns false when the file could not be written; nothing else is reported.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInteger(const std::string& section, const std::string& key, int value);
    bool WriteBool(const std::string& section, const std::string& key, bool value);
    bool DeleteKey(const std::string& section, const std::string& key);
    bool EraseSection(const std::string& section);

private:
    std::string FPath;
};
