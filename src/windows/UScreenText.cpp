// Message bytes as screen text: the part's charset when known, else UTF-8 or Windows-1252.
#include "windows/UScreenText.h"

#include <QStringDecoder>

#include <iconv.h>

namespace {

// The printable characters Windows-1252 puts at 0x80-0x9F; the rest is Latin-1.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

QString FromCp1252(const std::string& bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (unsigned char c : bytes)
        text.append(c >= 0x80 && c < 0xA0 ? QChar(Cp1252High[c - 0x80]) : QChar(c));
    return text;
}

bool ViaIconv(const std::string& bytes, const std::string& charset, QString& text)
{
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string out(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const bool ok = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (!ok)
        return false;
    text = QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size() - outLeft));
    return true;
}

} // namespace

QString ScreenText(const std::string& bytes, const std::string& charset)
{
    bool ascii = true;
    for (unsigned char c : bytes)
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QString text;
    if (!charset.empty() && ViaIconv(bytes, charset, text))
        return text;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError())
        return text;
    return FromCp1252(bytes);
}
