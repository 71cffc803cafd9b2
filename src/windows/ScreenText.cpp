// Message bytes as screen text: the part's charset when known, else UTF-8 or Windows-1252.
#include "windows/ScreenText.h"

#include "mime/Charset.h"

QString ScreenText(const std::string& bytes, const std::string& charset) {
    return QString::fromStdString(ToUtf8(bytes, charset));
}
