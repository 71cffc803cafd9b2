// A fresh temporary folder per test, removed with its contents afterwards.
#pragma once

#include <string>

class TTempDir {
  public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + "/" + name; }

    static void WriteFile(const std::string& path, const std::string& bytes);
    static std::string ReadFile(const std::string& path);
    static bool Exists(const std::string& path);
    // A new folder "<prefix>-XXXXXX" in the system's temporary folder that every user may
    // read and enter, for a server whose processes run as other users; the caller removes it.
    static std::string MakeServerRoot(const std::string& prefix);

  private:
    std::string FPath;
};
