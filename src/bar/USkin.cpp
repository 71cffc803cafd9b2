// The active skin and the installed skin names.
#include "bar/USkin.h"

#include "core/UGlobal.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

TSkinData* Skin = nullptr;
std::vector<std::string> SkinNames;

void InitSkins()
{
    if (!Skin)
        Skin = new TSkinData;
    SkinNames.clear();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(AppPath + "/Skins", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find('.') == std::string::npos)
            SkinNames.push_back(name.substr(0, 260));
    }
    // Directory listings have no stable order; sort as a case-insensitive file system lists.
    std::sort(SkinNames.begin(), SkinNames.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](unsigned char x, unsigned char y) {
                                                return std::tolower(x) < std::tolower(y);
                                            });
    });
}

void TSkinData::LoadSkin(const std::string& name)
{
    (void)name;
}
