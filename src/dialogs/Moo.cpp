// The about box's moo: a wave file synthesised once per run.
#include "dialogs/Moo.h"

#include <QFile>
#include <QStandardPaths>

#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

constexpr int SampleRate = 22050;
constexpr double Seconds = 1.2;

void Put16(std::string& out, uint16_t v) {
    out += char(v & 0xFF);
    out += char(v >> 8);
}

void Put32(std::string& out, uint32_t v) {
    Put16(out, uint16_t(v & 0xFFFF));
    Put16(out, uint16_t(v >> 16));
}

} // namespace

std::string MooWave() {
    const int count = static_cast<int>(SampleRate * Seconds);
    std::string samples;
    samples.reserve(count * 2);
    double phase = 0;
    for (int i = 0; i < count; ++i) {
        const double t = double(i) / count;
        // A low voice that rises a little, then falls: "mooo".
        const double pitch = 110 + 30 * std::sin(std::numbers::pi * t) - 20 * t;
        phase += 2 * std::numbers::pi * pitch / SampleRate;
        // Some harmonics give the buzz of a throat; the envelope rises and fades.
        const double voice = std::sin(phase) + 0.5 * std::sin(2 * phase) +
                             0.3 * std::sin(3 * phase) + 0.15 * std::sin(5 * phase);
        const double envelope = std::min(1.0, t * 8) * std::min(1.0, (1 - t) * 4);
        const double mouth = 0.6 + 0.4 * std::sin(std::numbers::pi * t);
        Put16(samples, uint16_t(int16_t(voice * envelope * mouth * 9000)));
    }
    std::string wave = "RIFF";
    Put32(wave, 36 + uint32_t(samples.size()));
    wave += "WAVEfmt ";
    Put32(wave, 16);
    Put16(wave, 1); // PCM
    Put16(wave, 1); // mono
    Put32(wave, SampleRate);
    Put32(wave, SampleRate * 2);
    Put16(wave, 2);
    Put16(wave, 16);
    wave += "data";
    Put32(wave, uint32_t(samples.size()));
    return wave + samples;
}

std::string MooFile() {
    static std::string path;
    if (!path.empty())
        return path;
    // The runtime folder is the user's own; a shared temporary folder is not.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        return {};
    const QString file = folder + "/quillbar-moo.wav";
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    const std::string wave = MooWave();
    out.write(wave.data(), qint64(wave.size()));
    out.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    path = file.toStdString();
    return path;
}
