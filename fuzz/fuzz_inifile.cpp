// Fuzz target: arbitrary bytes as a settings file, read and rewritten through TIniFile.
#include "core/IniDocument.h"
#include "core/IniFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

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

    // One scratch folder per run, removed when the fuzzer exits.
    static const struct TScratch {
        std::string Folder;
        TScratch() {
            char pattern[] = "/dev/shm/fuzz_inifile.XXXXXX"; // tmpfs keeps the fsyncs cheap
            if (mkdtemp(pattern))
                Folder = pattern;
        }
        ~TScratch() {
            std::error_code ignored;
            if (!Folder.empty())
                std::filesystem::remove_all(Folder, ignored);
        }
    } scratch;
    if (scratch.Folder.empty())
        return 0;
    const std::string path = scratch.Folder + "/quillbar.ini";
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
