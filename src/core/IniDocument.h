// In-memory model of a profile (INI) file: parse, look up, edit, serialise.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// Keeps every line it does not understand (comments, garbage, blank lines) so a
// rewrite loses nothing. Section and key names compare case-insensitively; the
// first of duplicate sections or keys is the one seen. Lookups are hashed so a
// section of many thousands of keys stays fast.
class TIniDocument {
  public:
    void Parse(const std::string& bytes);
    std::string Serialize() const;

    const std::string* Find(const std::string& section, const std::string& key) const;
    std::vector<std::string> SectionNames() const;
    std::vector<std::pair<std::string, std::string>>
    SectionValues(const std::string& section) const;

    // Return true when the document changed.
    bool Set(const std::string& section, const std::string& key, const std::string& value);
    bool Remove(const std::string& section, const std::string& key);
    bool RemoveSection(const std::string& section);

  private:
    struct TLine {
        bool IsKey = false;
        bool Deleted = false;
        std::string Key;   // trimmed, as written
        std::string Value; // trimmed, as written
        std::string Raw;   // the whole line when it is not a key
    };
    struct TSection {
        bool HasHeader = true; // false for lines before the first section
        bool Deleted = false;
        bool HasDuplicateKeys = false;
        std::string Name;
        std::string HeaderRaw;
        std::vector<TLine> Lines;
        std::unordered_map<std::string, size_t> Keys; // lower-case name -> first live line
    };

    TSection* FindSection(const std::string& name);
    const TSection* FindSection(const std::string& name) const;
    TSection& AddSection(const std::string& name);
    static void AddLine(TSection& section, TLine line);

    std::vector<TSection> FSections;
    std::unordered_map<std::string, size_t> FSectionIndex; // lower-case name -> first live section
};
