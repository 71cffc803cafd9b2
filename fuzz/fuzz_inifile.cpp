// Fuzz target: arbitrary bytes as a settings file, read and rewritten through TIniFile.
#include "core/IniDocument.h"
#include "core/IniFile.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // The parser must reproduce its own output exactly.
    TIniDocument doc;
    doc.Parse(bytes);
    const std::string once = doc.Serialize();
    TIniDocument again;
    again.Parse(once);
    if (again.Serialize() != once)
        __builtin_trap();

    static const std::string path = [] {
        // tmpfs keeps the many fsyncs cheap.
        char folder[] = "/dev/shm/fuzz_inifile.XXXXXX";
        return std::string(mkdtemp(folder)) + "/quillbar.ini";
    }();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);

    TIniFile ini(path);
    TIniUpdate update(ini);
    for (const std::string& section : ini.ReadSections()) {
        for (const auto& [key, value] : ini.ReadSectionValues(section)) {
            ini.ReadInteger(section, key, 0);
            ini.WriteString(section, key, value + "x");
        }
        ini.DeleteKey(section, "X0");
    }
    if (!ini.ReadSections().empty())
        ini.EraseSection(ini.ReadSections().front());
    ini.WriteString("Options", "Skin", bytes.substr(0, 64));
    return 0;
}
