// Message bytes as screen text: the part's charset when known, else UTF-8 or Windows-1252.
#include "windows/UScreenText.h"

#include "mail/Charset.h"

QString ScreenText(const std::string& bytes, const std::string& charset) {
    return QString::fromStdString(ToUtf8(bytes, charset));
}
