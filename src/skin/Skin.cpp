// The active skin and the installed skin names.
#include "skin/Skin.h"

#include "core/Folders.h"
#include "core/Global.h"
#include "core/IniFile.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cctype>
#include <filesystem>

std::vector<std::string> SkinNames;

namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    // Upper case, as a case-insensitive file system compares: "_" sorts after letters.
    const bool less = std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char x, unsigned char y) { return std::toupper(x) < std::toupper(y); });
    if (less || !SameText(a, b))
        return less;
    return a < b; // names differing only in case keep one order everywhere
}

QImage LoadBitmap(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw ESkinError("Cannot open file " + path);
    // Told the format and kept from guessing, the reader uses its own bitmap decoder instead of
    // loading every image format plugin to ask each one: that cost a tenth of a second at start.
    QImageReader reader(&file, "bmp");
    reader.setAutoDetectImageFormat(false);
    QImage image = reader.read();
    if (image.isNull())
        throw ESkinError("Bitmap image is not valid");
    // One pixel format for all pieces keeps every copy onto the bar a plain blit.
    return image.convertToFormat(QImage::Format_RGB32);
}

int ReadColor(const TIniFile& ini, const std::string& section, const std::string& key) {
    return ParseSkinColor(ini.ReadString(section, key, "0 0 0"));
}

TSkinFont ReadFont(const TIniFile& ini, const std::string& section, const std::string& prefix) {
    TSkinFont result;
    result.Font =
        QFont(QString::fromStdString(ini.ReadString(section, prefix + ".Name", "Tahoma")));
    const int size = ini.ReadInteger(section, prefix + ".Size", 10);
    result.Font.setPointSize(size > 0 ? size : 10);
    result.Color = ReadColor(ini, section, prefix + ".Color");
    result.Font.setBold(ini.ReadBool(section, prefix + ".Bold", false));
    result.Font.setItalic(ini.ReadBool(section, prefix + ".Italic", false));
    result.Font.setUnderline(ini.ReadBool(section, prefix + ".Underline", false));
    return result;
}

} // namespace

QColor SkinQColor(int color) {
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

TSkinData& Skin() {
    static TSkinData skin;
    return skin;
}

void InitSkins() {
    SkinNames.clear();
    for (const std::string& folder : SkinFolders()) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            // Names without an extension, files as well as folders.
            const std::string name = entry.path().filename().string().substr(0, 260);
            if (name.find('.') == std::string::npos &&
                std::find(SkinNames.begin(), SkinNames.end(), name) == SkinNames.end())
                SkinNames.push_back(name);
        }
    }
    // Directory listings have no stable order; sort as a case-insensitive file system lists.
    std::sort(SkinNames.begin(), SkinNames.end(), LessIgnoringCase);
}

std::string ChooseSkinName(const std::string& option) {
    if (SkinNames.empty())
        return {};
    const bool installed = std::find(SkinNames.begin(), SkinNames.end(), option) != SkinNames.end();
    return installed ? option : SkinNames.front();
}

std::string TSkinData::LoadSkin(const std::string& name) {
    const std::string folder = SkinFolder(name);
    std::error_code error;
    if (!std::filesystem::is_regular_file(folder + "/skin.ini", error))
        return "The specified skin does not exist!";
    // Read aside and taken only when whole, so a failure leaves this skin as it was.
    TSkinData loaded;
    try {
        loaded.Read(folder);
    } catch (const std::exception& failure) {
        return failure.what();
    }
    *this = std::move(loaded);
    return {};
}

void TSkinData::Read(const std::string& folder) {
    const TIniFile ini(folder + "/skin.ini");
    Background = LoadBitmap(folder + "/background.bmp");
    Height = Background.height();

    Arrows.Bitmap = LoadBitmap(folder + "/arrows.bmp");
    Arrows.MoveBarWidth = ini.ReadInteger("Arrows", "MoveBar.Width", 0);
    Arrows.SizeBarWidth = ini.ReadInteger("Arrows", "SizeBar.Width", 0);
    Arrows.LeftArrowWidth = ini.ReadInteger("Arrows", "LeftArrow.Width", 0);
    Arrows.RightArrowWidth = ini.ReadInteger("Arrows", "RightArrow.Width", 0);
    Arrows.FirstArrowWidth = ini.ReadInteger("Arrows", "FirstArrow.Width", 0);
    Arrows.LastArrowWidth = ini.ReadInteger("Arrows", "LastArrow.Width", 0);
    Arrows.DropdownWidth = ini.ReadInteger("Arrows", "Dropdown.Width", 0);

    MenuButton.Bitmap = LoadBitmap(folder + "/menubutton.bmp");
    MenuButton.Width = ini.ReadInteger("MenuButton", "Width", 0);

    Button.Bitmap = LoadBitmap(folder + "/button.bmp");
    Button.Width = ini.ReadInteger("Button", "Width", 0);
    Button.BorderLeft = ini.ReadInteger("Button", "Border.Left", 0);
    Button.BorderRight = ini.ReadInteger("Button", "Border.Right", 0);
    Button.BorderTop = ini.ReadInteger("Button", "Border.Top", 0);
    Button.BorderBottom = ini.ReadInteger("Button", "Border.Bottom", 0);
    Button.Font = ReadFont(ini, "Button", "Font");

    Error.Bitmap = LoadBitmap(folder + "/error.bmp");
    Error.Width = ini.ReadInteger("Error", "Width", 0);

    Menu.BorderColor = ReadColor(ini, "Menu", "Border.Color");
    Menu.SeparatorColor = ReadColor(ini, "Menu", "Seperator.Color");
    Menu.NormalColor = ReadColor(ini, "Menu", "Normal.Color");
    Menu.NormalBorderColor = ReadColor(ini, "Menu", "Normal.BorderColor");
    Menu.SelectedColor = ReadColor(ini, "Menu", "Selected.Color");
    Menu.SelectedBorderColor = ReadColor(ini, "Menu", "Selected.BorderColor");
    Menu.NormalFont = ReadFont(ini, "Menu", "Normal.Font");
    Menu.SelectedFont = ReadFont(ini, "Menu", "Selected.Font");
    Menu.DisabledFont = ReadFont(ini, "Menu", "Disabled.Font");
}
