// Profile (INI) file access: case-insensitive sections and keys, write-through, atomic replace.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

class TIniDocument;

// Every operation opens the file by name; a missing or unreadable file reads as
// empty. Writes replace the whole file atomically (temporary file, fsync, rename),
// so a crash leaves either the old or the new file, never a half-written one.
// A file that exists but cannot be read is never replaced.
class TIniFile {
  public:
    explicit TIniFile(std::string path);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

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
    std::vector<std::pair<std::string, std::string>>
    ReadSectionValues(const std::string& section) const;

    // Each returns false when the file could not be written; LastError tells why.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInteger(const std::string& section, const std::string& key, int value);
    bool WriteBool(const std::string& section, const std::string& key, bool value);
    bool DeleteKey(const std::string& section, const std::string& key);
    bool EraseSection(const std::string& section);

    // Between BeginUpdate and the matching EndUpdate (they nest), reads and writes
    // work on one copy in memory and the file is replaced once, at the outermost
    // EndUpdate, and only if something changed. EndUpdate returns false when that
    // write failed, or when an edit was refused because the file could not be read.
    void BeginUpdate();
    bool EndUpdate();

    // The cause (an errno value) of the last write that failed; 0 while none has.
    int LastError() const { return FLastError; }

  private:
    template <typename TEdit> bool Edit(TEdit edit);
    const TIniDocument& Current(TIniDocument& scratch) const;

    std::string FPath;
    std::unique_ptr<TIniDocument> FBatch;
    int FUpdateDepth = 0;
    bool FBatchDirty = false;
    int FBatchLoadError = 0; // the file exists but could not be read: edits are refused
    bool FBatchRefused = false;
    int FLastError = 0;
};

// Scope for TIniFile::BeginUpdate/EndUpdate.
class TIniUpdate {
  public:
    explicit TIniUpdate(TIniFile& ini) : FIni(ini) { FIni.BeginUpdate(); }
    ~TIniUpdate() { FIni.EndUpdate(); }
    TIniUpdate(const TIniUpdate&) = delete;
    TIniUpdate& operator=(const TIniUpdate&) = delete;

  private:
    TIniFile& FIni;
};
